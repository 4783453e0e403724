// Lines for the person at the console. One call is one whole line, on one stream, in one
// format, so that every failure is said once and reads the same wherever it comes from:
//
//   reportError    "Error: <text>" on stderr: something failed; the text says what the program
//                  does instead (leaves a model out, stops an output, ends).
//   reportWarning  "Warning: <text>" on stderr: something is left out, the run goes on as asked.
//   reportNote     "Note: <text>" on stderr: how the program reads what it was given.
//   reportLine     "<text>" on stdout: progress and counts, and the program's fixed texts that
//                  have always gone there ("No Capture Device!", "Loading model ...").
//
// A text that names a file puts the name first and the reason after it ("FILE: is damaged").
// Texts carry no newline of their own; the call ends the line.
#pragma once

void reportError(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportNote(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
