// The scene description: every item writes itself as text in a nested table-constructor syntax
// (name = value pairs, braces, commas) through `Item::dump`, one element per `write` call: a
// header such as "Group{", a field such as "name = \"root\",", a separator or a closing brace.
// Appearances are not written inline; an entity refers to its appearance as
// "appearance = appearances[i]," with i = the appearance's registry index + 1, so a writer that
// also writes the registry's appearances under those numbers gives a self-contained text.
#pragma once

#include <cstdio>
#include <string>

class Node;

class SceneWriter {
public:
    virtual ~SceneWriter() = default;
    // printf-formatted; floats arrive as doubles.
    virtual void write(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
};

// Into a string, one element per line, indented by the brace depth; a lone "," joins the line
// before it, so a child ends with "},", and an element ending in "= " joins the one after it.
class TextSceneWriter : public SceneWriter {
public:
    void write(const char* format, ...) override __attribute__((format(printf, 2, 3)));
    const std::string& text() const { return text_; }

private:
    std::string text_, pending_;
    int depth_ = 0;
};

// "appearances = {" with every live appearance as "[i + 1] = ...,", "}", then "scene = {", the
// root's description and "}".
void dumpScene(Node& root, SceneWriter& w);

// The description of `root` into `path`, with its mesh files named `meshPrefix`N.msh beside it
// (the counter restarts at 0). False with `error` set when a file cannot be written.
bool writeSceneFile(Node& root, const std::string& path, const std::string& meshPrefix, std::string& error);
