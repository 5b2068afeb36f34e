#include "JavaRunner.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "OvkJavaCommand.h"

bool JavaResult::Passed() const {
    const std::string all = output + errors;
    return status == 0 && output.find(" passed, 0 failed\n") != std::string::npos &&
           all.find("in native method") == std::string::npos;
}

std::string JavaResult::Report() const {
    return "exit status " + std::to_string(status) + "\n--- output\n" + output + "--- errors\n" + errors;
}

JavaResult RunJava(const std::string& jar, const std::string& mainClass,
                   const std::vector<std::string>& args, const std::string& errorFile,
                   int timeoutMs) {
    std::vector<std::string> argv;
    for (const char* const* a = kOvkJavaCommand; *a; ++a) argv.emplace_back(*a);
    argv.insert(argv.end(), {"-cp", jar + ":" + kOvkJavaClassPath, mainClass});
    argv.insert(argv.end(), args.begin(), args.end());

    JavaResult result;
    ChildProcess java;
    if (!java.Start(argv, errorFile)) {
        result.errors = "cannot start java";
        return result;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !java.ReadLine(line, static_cast<int>(left.count()))) break;
        result.output += line + "\n";
    }
    result.status = java.Wait(5000);
    std::ifstream f(errorFile);
    std::stringstream s;
    s << f.rdbuf();
    result.errors = s.str();
    return result;
}
