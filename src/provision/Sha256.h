#pragma once

#include <QString>

#include <atomic>

class QIODevice;
struct evp_md_ctx_st;

// An incremental SHA-256 (OpenSSL libcrypto, at the speed of the hardware).
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void reset();
    void add(const char* data, qint64 size);
    // Adds the device's bytes from its position to its end; the number of
    // bytes, or -1 after a read error or when `stop` was set meanwhile.
    qint64 addAll(QIODevice& device, const std::atomic<bool>* stop = nullptr);
    // 64 lower-case hexadecimal digits of what was added.
    QString hex();

private:
    evp_md_ctx_st* ctx_;
};
