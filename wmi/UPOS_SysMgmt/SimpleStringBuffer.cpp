#include "SimpleStringBuffer.h"

#include <cstring>

SimpleStringBuffer::SimpleStringBuffer() { init(16, 2.0f); }

SimpleStringBuffer::SimpleStringBuffer(int capacity, float factor) { init(capacity, factor); }

SimpleStringBuffer::SimpleStringBuffer(SimpleStringBuffer* other) {
    init(other ? static_cast<int>(other->size * 1.5) : 16, 2.0f);
    if (other) append(other->data, other->size);
}

SimpleStringBuffer::~SimpleStringBuffer() { delete[] data; }

void SimpleStringBuffer::init(int cap, float factor) {
    delete[] data;
    capacity = cap < 0 ? 0 : cap;
    fact = factor < 1.5f ? 1.5f : factor;
    size = 0;
    data = new char[capacity + 1];
    data[0] = '\0';
}

void SimpleStringBuffer::checkRoom(int n) {
    if (n <= 0) return;
    const long long need = static_cast<long long>(size) + n;
    int newCapacity = capacity;
    if (static_cast<double>(capacity) * fact < static_cast<double>(need))
        newCapacity = static_cast<int>(fact * static_cast<double>(need));
    else if (capacity < need)
        newCapacity = static_cast<int>(capacity * fact);
    else
        return;
    char* grown = new char[newCapacity + 1];
    std::memcpy(grown, data, size);
    grown[size] = '\0';
    delete[] data;
    data = grown;
    capacity = newCapacity;
}

void SimpleStringBuffer::append(char c) { append(&c, 1); }

void SimpleStringBuffer::append(const char* text) {
    if (!text) return;
    append(text, static_cast<int>(std::strlen(text)));
}

void SimpleStringBuffer::append(const char* bytes, int n) {
    if (!bytes || n <= 0) return;
    checkRoom(n);
    std::memcpy(data + size, bytes, n);
    size += n;
    data[size] = '\0';
}

SimpleStringBuffer* SimpleStringBuffer::clone() { return new SimpleStringBuffer(this); }
