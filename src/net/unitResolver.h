#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <sys/socket.h>

namespace wardlark
{

// Error codes of the network layer that are not system errors. System errors are reported
// with their errno value and the C library's text, so every code below lies above the errno
// range. The texts are those `NetErrorText` returns; the TLS and resolver texts get the
// library's own detail appended after ": ".
enum TNetError : int
{
    kNetErrOk = 0,
    kNetErrTimeout = 10001,        // "Operation timed out"
    kNetErrHostNotFound = 10002,   // "Host not found"
    kNetErrResolveFailed = 10003,  // "Name resolution failed" + ": " + resolver text
    kNetErrTls = 10004,            // "TLS error" + ": " + OpenSSL text
    kNetErrLineTooLong = 10005,    // "Line too long"
    kNetErrAborted = 10006,        // "Operation aborted"
    kNetErrClosed = 10007,         // "Connection closed by the peer"
    kNetErrInvalidAddress = 10008, // "Invalid address or port"
    kNetErrProxy = 10009,          // "Proxy tunnel failed" + ": " + the proxy's status line
};

// The fixed text of one of the codes above; for any other value the C library's text of that
// errno value; "" for 0.
std::string NetErrorText(int code);

// A flag another thread raises to break a blocking network wait at once.
//
// The flag owns an eventfd that is readable exactly while the flag is raised, so a waiting
// call polls it together with its own descriptors. Abort() and IsAborted() may be called from
// any thread at any time; Reset() must not race with a wait that should see the abort (the
// owner calls it between operations). The object must outlive every wait that uses it.
class TAbortToken
{
public:
    TAbortToken();
    ~TAbortToken();
    TAbortToken(const TAbortToken&) = delete;
    TAbortToken& operator=(const TAbortToken&) = delete;

    // Raises the flag; every current and later wait on it ends with kNetErrAborted.
    void Abort();
    // Lowers the flag again.
    void Reset();
    bool IsAborted() const { return aborted_.load(std::memory_order_acquire); }
    // The descriptor to poll for POLLIN; -1 only when the system refused an eventfd, in which
    // case waits fall back to short poll slices and IsAborted().
    int Fd() const { return fd_; }

private:
    std::atomic<bool> aborted_{false};
    int fd_ = -1;
};

enum class TAddressFamily
{
    Any,  // whatever the resolver offers, in its order
    IPv4, // AF_INET only
    IPv6, // AF_INET6 only
};

// One IPv4 or IPv6 socket address.
class TNetAddress
{
public:
    TNetAddress();
    // Copies `length` bytes of `address` (an AF_INET or AF_INET6 address).
    TNetAddress(const sockaddr* address, socklen_t length);

    // AF_INET, AF_INET6, or AF_UNSPEC for an empty address.
    int Family() const;
    bool IsEmpty() const { return Family() == AF_UNSPEC; }
    // The address in numeric form ("192.0.2.1", "::1", "fe80::1%eth0"); "" when empty.
    std::string IP() const;
    uint16_t Port() const;
    void SetPort(uint16_t port);

    const sockaddr* Data() const;
    socklen_t Length() const { return length_; }

private:
    sockaddr_storage storage_;
    socklen_t length_ = 0;
};

// True when `text` is an IPv4 address in dotted-quad form or an IPv6 address (optionally with
// a "%zone" suffix). Brackets, ports and blanks are not accepted.
bool IsIPAddress(const std::string& text);

// Resolves `name` into its addresses for TCP, in the resolver's order without duplicates, each
// with port 0. An IP address (also an IPv6 address in brackets) is converted without asking the
// resolver. Returns 0 and fills `addresses` on success; otherwise `addresses` is empty and the
// result is kNetErrHostNotFound (the name has no address of the wanted family),
// kNetErrResolveFailed (the resolver failed, `errorText` gets its text), kNetErrTimeout (no
// answer within `timeoutMs`; 0 or less waits without limit), kNetErrAborted (`abort` was or
// became raised) or kNetErrInvalidAddress (empty name).
//
// The lookup runs on a detached helper thread that shares its state with the caller, so a
// caller that gives up (time-out or abort) returns at once and the helper frees the state when
// the lookup finally ends. `abort` may be null. Safe to call from any thread.
int ResolveHost(const std::string& name, TAddressFamily family, int timeoutMs, const TAbortToken* abort,
                std::vector<TNetAddress>& addresses, std::string* errorText = nullptr);

} // namespace wardlark
