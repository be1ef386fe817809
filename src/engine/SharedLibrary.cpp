#include "SharedLibrary.h"

#include <dlfcn.h>

namespace engine {

SharedLibrary::SharedLibrary(const char *file, const char *what) : m_what(what)
{
    m_handle = ::dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!m_handle) {
        const char *why = ::dlerror();
        m_failure = "The " + m_what + " cannot be loaded: " + (why ? why : file);
    }
}

void *SharedLibrary::lookUp(const char *name)
{
    void *const found = m_handle ? ::dlsym(m_handle, name) : nullptr;
    if (m_handle && !found && m_failure.empty())
        m_failure = "The " + m_what + " lacks " + name;
    return found;
}

} // namespace engine
