#pragma once

// What the benchmark drivers of the window program do first: with a QApplication made, they
// check their argument count, name the settings as the program does and load English from the
// language file named by the first argument. 0 when all is ready, else the status to exit with
// (2 for a wrong argument count, 1 when the language file cannot be read); the reason is on
// stderr.
int StartDriver(int argc, char** argv, int minArguments, int maxArguments, const char* usage);
