#pragma once

// The whole front end: parses the options, lists ports or runs one request
// against the worker, and returns the exit status.
int runCli(int argc, char *argv[]);
