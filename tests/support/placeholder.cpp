// Fakes of the platform seams for the tests.
