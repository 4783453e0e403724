// The program: start-up, the GLUT callbacks and the end of a run.
#pragma once

int runApplication(int argc, char** argv);
