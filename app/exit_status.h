// The program's exit statuses, for scripts that run it (README, "Command line").
#pragma once

constexpr int kExitOk = 0;
// A run that could not do its job (no display, a source that cannot be played, a calibration
// without enough views); also Esc, which ends a run with it.
constexpr int kExitFailed = 1;
constexpr int kEscExitStatus = kExitFailed;
constexpr int kExitBadOption = 2;     // the command line asks for something it cannot mean
constexpr int kExitOutputFailed = 3;  // a file the run was asked to write could not be written
