// Whether the running OpenGL driver offers an extension, and where an extension procedure lives.
// Both need a current context: without one glGetString answers null and every name is reported
// unsupported. Callers cache the answers they need; nothing here keeps state.
//
// The driver's list is searched first, then the window system's (GLX) list of the current display.
#pragma once

namespace GLExtensions {

using Procedure = void (*)();

bool extensionSupported(const char* name);
// Whether this thread has a current context: a scene built without one (a scene description
// written without a window) leaves its textures to be made when first drawn.
bool contextCurrent();
Procedure getProcAddress(const char* name);  // glXGetProcAddress; null when unknown

// Whether `name` is a whole space-separated token of `list`. Runs are taken up to the next space;
// an empty run (two spaces in a row, or a leading space) ends the search, as drivers never write one.
bool hasToken(const char* list, const char* name);

}  // namespace GLExtensions
