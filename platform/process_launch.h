// Starting a program that goes its own way: nobody reads its output, and it
// may outlive this process. (Children whose output is read are started with
// child_spawn.h.)
#pragma once

#include <string>
#include <vector>

namespace OS {

// Starts argv[0] (searched in PATH when it holds no '/') with `argv`, our
// environment, working directory and standard input, output and error; no
// other descriptor of ours reaches it, and its signal mask and dispositions
// start at the defaults. With `ownSession` it leads a new session, so that
// the signals of our terminal do not reach it. True with *pid set (reap it
// with WaitForChild of child_spawn.h, or leave it to outlive us); false with
// *error set to the errno of the failure.
bool LaunchProcess(const std::vector<std::string>& argv, bool ownSession, int* pid, int* error);

}  // namespace OS

namespace OS {

// Asks process `pid` to end (SIGTERM): it may clean up first. False when
// there is no such process.
bool RequestProcessEnd(int pid);

}  // namespace OS
