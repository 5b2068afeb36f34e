// The program's trace: off at start, on in debug mode, lines handed to an output.
#pragma once

class AbstractTracerOutput {
public:
    virtual ~AbstractTracerOutput() = default;
    virtual void trace(const char* text) = 0;
};

class ConsoleTracerOutput : public AbstractTracerOutput {
public:
    void trace(const char* text) override;
};

class Tracer {
public:
    static Tracer& getInstance();
    void setOn(bool on) { on_ = on; }
    bool isOn() const { return on_; }
    void setOutput(AbstractTracerOutput* output) { output_ = output; }
    // Formats the line (cut at 512 characters) and hands it to the output when on.
    void trace(const char* format, ...) __attribute__((format(printf, 2, 3)));

private:
    bool on_ = false;
    AbstractTracerOutput* output_ = nullptr;
};

#define TRACE(...) Tracer::getInstance().trace(__VA_ARGS__)
