#pragma once

namespace platform {

// The names the error report gives the program's windows: each reported procedure reads
// "<module>.<procedure>", so these are data that users quote, not names for the code. They
// are also the windows' object names.
inline constexpr char mainWindowModule[] = "Form1";
inline constexpr char linesDialogModule[] = "Form2";
inline constexpr char editorDialogModule[] = "Form3";

} // namespace platform
