// Runs a Java test program of the build from a C++ test, for Java tests that need a set-up
// first (a simulated terminal, a private root with device nodes): the JVM with the options
// of every Java test, the program's jar with the stand-in and helper jars on the class path.
#pragma once

#include <string>
#include <vector>

struct JavaResult {
    int status = -1;      // exit status (see ChildProcess::Wait)
    std::string output;   // standard output
    std::string errors;   // standard error
    // Ended with status 0, closed with "N passed, 0 failed", and -Xcheck:jni found nothing.
    bool Passed() const;
    std::string Report() const;
};

// Runs `mainClass` from `jar` with `args`; its standard error goes to `errorFile`. A program
// still running after `timeoutMs` is killed.
JavaResult RunJava(const std::string& jar, const std::string& mainClass,
                   const std::vector<std::string>& args, const std::string& errorFile,
                   int timeoutMs = 90000);
