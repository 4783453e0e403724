#include "scene/gl_extensions.h"

#include <GL/gl.h>
#include <GL/glx.h>

#include <cstring>

namespace GLExtensions {

bool hasToken(const char* list, const char* name) {
    if (!list || !name) return false;
    const size_t n = std::strlen(name);
    const char* p = list;
    while (*p) {
        const size_t run = std::strcspn(p, " ");
        if (run == 0) return false;
        if (run == n && std::strncmp(p, name, n) == 0) return true;
        p += run;
        if (*p) ++p;
    }
    return false;
}

bool extensionSupported(const char* name) {
    const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
    if (!name || !list) return false;
    if (hasToken(list, name)) return true;
    Display* display = glXGetCurrentDisplay();
    if (!display) return false;
    return hasToken(glXQueryExtensionsString(display, DefaultScreen(display)), name);
}

Procedure getProcAddress(const char* name) {
    if (!name) return nullptr;
    return glXGetProcAddress(reinterpret_cast<const GLubyte*>(name));
}

}  // namespace GLExtensions

bool GLExtensions::contextCurrent() { return glXGetCurrentContext() != nullptr; }
