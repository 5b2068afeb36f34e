// A growing byte buffer, always NUL-terminated after its `size` bytes. It grows by its
// factor (at least 1.5) when an append does not fit.
#pragma once

class SimpleStringBuffer {
public:
    SimpleStringBuffer();
    SimpleStringBuffer(int capacity, float factor);
    // Capacity other's size x 1.5, factor 2.0, then a copy of other's bytes.
    explicit SimpleStringBuffer(SimpleStringBuffer* other);
    ~SimpleStringBuffer();
    SimpleStringBuffer(const SimpleStringBuffer&) = delete;
    SimpleStringBuffer& operator=(const SimpleStringBuffer&) = delete;

    void append(char c);
    void append(const char* text);
    void append(const char* bytes, int n);
    void clean() { size = 0; data[0] = '\0'; }
    const char* c_str() const { return data; }
    int length() const { return size; }
    int getCapacity() const { return capacity; }
    // A new buffer built from this one; the caller deletes it.
    SimpleStringBuffer* clone();
    void init(int capacity, float factor);
    // Makes room for n more bytes.
    void checkRoom(int n);

private:
    char* data = nullptr;
    int size = 0;
    int capacity = 0;
    float fact = 2.0f;
};
