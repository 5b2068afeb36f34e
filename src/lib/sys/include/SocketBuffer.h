// sockbuf: a character stream buffer over one socket descriptor.
//
// The buffer is split into a put area and a get area (with a small putback reserve in
// front of the received bytes). Reads wait for the socket with poll(2), bounded by the read
// time-out; writes are bounded by the write time-out. Failures are reported in the state of
// the owning stream, never by exceptions.
//
// Threads: one reader and one writer may use a sockbuf at the same time once its storage is
// allocated (sostream::writer() allocates it): the get side and the put side share no
// state, and failures of the put side go to the write owner when one is set.
#pragma once

#include <atomic>
#include <cstdint>
#include <ios>
#include <streambuf>

class sockbuf : public std::streambuf {
public:
    static constexpr int DEFAULT_BUFSIZ = 2048;
    static constexpr int MIN_BUFSIZ = 7;
    static constexpr int UNBUFSIZ = 3;
    static constexpr int MIN_PUSHBACK = 4;
    static constexpr int INVALID_SOCK = -1;
    static constexpr uint16_t INVALID_PORT = 0xFFFF;
    static constexpr uint32_t INVALID_ADDR = 0xFFFFFFFFu;
    static std::atomic<int> sockLibInitialized;

    sockbuf();
    explicit sockbuf(int sd);
    sockbuf(char* buf, int size);
    sockbuf(int sd, char* buf, int size);
    ~sockbuf() override;
    sockbuf(const sockbuf&) = delete;
    sockbuf& operator=(const sockbuf&) = delete;

    // Records the storage (null: only the size; doallocate allocates it). Refused (null)
    // once the buffer is allocated, or when `buf` is given with a size below MIN_BUFSIZ.
    std::streambuf* setbuf(char* buf, std::streamsize size) override;
    virtual sockbuf* setbuf(char* buf, int size, int own);
    // Sets up the buffer areas: 0 when already allocated, 1 on success, -1 on failure.
    virtual int doallocate();

    int getBufsiz() const { return bufsiz_; }
    int getDescriptor() const { return sd_.load(); }
    long getReadTimeout() const { return readTimeout_; }
    long setReadTimeout(long ms);
    std::basic_ios<char>* setOwner(std::basic_ios<char>* owner);

    // Send side: a time-out in milliseconds for sending what is buffered (-1: no limit,
    // the default), and the stream whose state send failures go to (null: the owner).
    long getWriteTimeout() const { return writeTimeout_; }
    long setWriteTimeout(long ms);
    std::basic_ios<char>* setWriteOwner(std::basic_ios<char>* owner);

    // Sends one whole message: 0 when all of it went out. A message is never split inside
    // the buffer: either it is queued whole or not at all. When the time-out ends a send
    // part-way, the unsent rest stays queued (the peer still receives whole messages) and
    // -1 is returned; output left over from an earlier time-out is retried without waiting.
    int sendMessage(const void* data, int length);

    sockbuf* attach(int sd);
    sockbuf* accept();
    int close();
    static int close(int& sd);
    static int error();
    static int initSockLib();

protected:
    int sync() override;
    std::streamsize showmanyc() override;
    int_type underflow() override;
    int_type uflow() override;
    int_type pbackfail(int_type c) override;
    int_type overflow(int_type c) override;

private:
    void preConstruct();
    bool allocated() const { return base_ != nullptr; }
    void setReadState(std::ios_base::iostate s);
    void setWriteState(std::ios_base::iostate s);
    // Waits until the descriptor is readable within the read time-out.
    bool waitReadable();
    // Sends n bytes from p within the write time-out (waitMs, -1: none). Sets `sent`.
    // 0: all sent; 1: time-out; -1: error (errno set).
    int sendBytes(const char* p, int n, long waitMs, int& sent);
    int flushPut(long waitMs);

    long readTimeout_ = -1;
    long writeTimeout_ = -1;
    std::basic_ios<char>* owner_ = nullptr;
    std::basic_ios<char>* writeOwner_ = nullptr;
    std::atomic<int> sd_{INVALID_SOCK};
    char* base_ = nullptr;      // start of the buffer once allocated
    char* putLimit_ = nullptr;  // end of the put area
    char* getBase_ = nullptr;   // start of the get area (putback reserve first)
    char* bufLast_ = nullptr;   // last byte of the buffer
    int pushback_ = 0;
    char* storage_ = nullptr;
    int bufsiz_ = DEFAULT_BUFSIZ;
    int ownsBuffer_ = 0;
};
