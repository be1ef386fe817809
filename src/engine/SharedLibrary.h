#pragma once

#include <string>
#include <type_traits>

namespace engine {

// A shared library loaded while a program runs, for calls that most runs never make, and kept
// loaded until the program ends: the calls looked up point into it.
class SharedLibrary {
public:
    // Loads the library file (its name with the major version of its interface); what is
    // looked for, the "archive library" say, names it in failures.
    SharedLibrary(const char *file, const char *what);

    // Sets call to the function of that name; a function the library lacks leaves it null and
    // says so in failure().
    template <typename Call> void resolve(Call &call, const char *name)
    {
        static_assert(std::is_pointer_v<Call>);
        call = reinterpret_cast<Call>(lookUp(name));
    }

    // Why the library or one of its calls cannot be had; empty when all is well.
    const std::string &failure() const { return m_failure; }

private:
    void *lookUp(const char *name);

    void *m_handle = nullptr;
    std::string m_what;
    std::string m_failure;
};

} // namespace engine
