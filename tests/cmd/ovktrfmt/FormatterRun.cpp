#include "FormatterRun.h"

#include <cstdio>
#include <cstdlib>

#include "CommandLine.h"

FormatterResult RunFormatter(const std::vector<std::string>& args) {
    std::vector<std::string> copy = args;
    copy.insert(copy.begin(), "ovktrfmt");
    std::vector<char*> argv;
    for (std::string& a : copy) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    char *outBuf = nullptr, *errBuf = nullptr;
    size_t outLen = 0, errLen = 0;
    FILE* out = open_memstream(&outBuf, &outLen);
    FILE* err = open_memstream(&errBuf, &errLen);
    FormatterResult r;
    r.status = RunTraceFormatter(static_cast<int>(copy.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    r.out.assign(outBuf, outLen);
    r.err.assign(errBuf, errLen);
    std::free(outBuf);
    std::free(errBuf);
    return r;
}

FormatterResult FormatterFixture::Format(const TraceFileBuilder& file,
                                         const std::vector<std::string>& options) {
    const std::string path = Path("trace.trc");
    file.WriteTo(path);
    std::vector<std::string> args = options;
    args.push_back("-f");
    args.push_back(path);
    return RunFormatter(args);
}
