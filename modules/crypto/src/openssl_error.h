#pragma once

// Raises CryptoException with OpenSSL's earliest queued error as its code and
// its text as the message, and empties the queue.
[[noreturn]] void raiseOpensslError(const char* file, int line, const char* operation);

#define OPENSSL_CHECK(condition, operation) \
    ((condition) ? (void)0 : raiseOpensslError(__FILE__, __LINE__, operation))
