#include "net/unitBlockSocket.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <ctime>
#include <vector>

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include "support/unitTextRoutines.h"

namespace wardlark
{

namespace
{

constexpr uint64_t kNoDeadline = UINT64_MAX;
constexpr std::size_t kReadChunk = 65536;
// How long the tunnel's answer may take when no connect time-out is set.
constexpr int kTunnelReplyMs = 60000;

uint64_t NowMs()
{
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// A negative time-out means no deadline.
uint64_t DeadlineAfter(int timeoutMs)
{
    return timeoutMs < 0 ? kNoDeadline : NowMs() + static_cast<uint64_t>(timeoutMs);
}

// -1 for no deadline, else the milliseconds left (0 once passed).
int RemainingMs(uint64_t deadline)
{
    if (deadline == kNoDeadline)
    {
        return -1;
    }
    const uint64_t now = NowMs();
    return deadline > now ? static_cast<int>(std::min<uint64_t>(deadline - now, INT_MAX)) : 0;
}

bool ParsePort(const std::string& text, bool allowZero, uint16_t& port)
{
    const std::string trimmed = Trim(text);
    if (trimmed.empty() || trimmed.size() > 5 ||
        !std::all_of(trimmed.begin(), trimmed.end(), [](char c) { return c >= '0' && c <= '9'; }))
    {
        return false;
    }
    const unsigned long value = std::stoul(trimmed);
    if (value > 65535 || (value == 0 && !allowZero))
    {
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

bool IsWildcard(const TNetAddress& address)
{
    if (address.Family() == AF_INET)
    {
        return reinterpret_cast<const sockaddr_in*>(address.Data())->sin_addr.s_addr == htonl(INADDR_ANY);
    }
    if (address.Family() == AF_INET6)
    {
        return IN6_IS_ADDR_UNSPECIFIED(&reinterpret_cast<const sockaddr_in6*>(address.Data())->sin6_addr);
    }
    return false;
}

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the peer has gone. The
// signal is blocked for the calling thread during TLS calls and a SIGPIPE they raised is taken
// off the pending set before the old mask returns, so the process never sees it.
class TSigPipeBlock
{
public:
    TSigPipeBlock()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        pendingBefore_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }

    ~TSigPipeBlock()
    {
        if (!pendingBefore_)
        {
            sigset_t pending;
            sigemptyset(&pending);
            sigpending(&pending);
            if (sigismember(&pending, SIGPIPE) == 1)
            {
                const timespec zero{0, 0};
                while (sigtimedwait(&set_, nullptr, &zero) == -1 && errno == EINTR)
                {
                }
            }
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

    TSigPipeBlock(const TSigPipeBlock&) = delete;
    TSigPipeBlock& operator=(const TSigPipeBlock&) = delete;

private:
    sigset_t set_;
    sigset_t old_;
    bool pendingBefore_ = false;
};

int PasswordCallback(char* buffer, int size, int /*rwflag*/, void* userData)
{
    const std::string* password = static_cast<const std::string*>(userData);
    if (password == nullptr || size <= 0)
    {
        return 0;
    }
    const std::size_t length = std::min(password->size(), static_cast<std::size_t>(size));
    std::memcpy(buffer, password->data(), length);
    return static_cast<int>(length);
}

// Results of one nonblocking read besides a byte count.
constexpr long kReadEof = 0;
constexpr long kReadFailed = -1;
constexpr long kReadWantRead = -2;
constexpr long kReadWantWrite = -3;

} // namespace

TTCPBlockSocket::TTCPBlockSocket() = default;

TTCPBlockSocket::~TTCPBlockSocket()
{
    CloseSocket();
}

// ---- Results and abort

void TTCPBlockSocket::ClearError()
{
    lastError_ = 0;
    lastErrorDesc_.clear();
}

void TTCPBlockSocket::SetError(int code)
{
    lastError_ = code;
    lastErrorDesc_ = NetErrorText(code);
}

void TTCPBlockSocket::SetError(int code, const std::string& detail)
{
    lastError_ = code;
    lastErrorDesc_ = NetErrorText(code);
    if (!detail.empty())
    {
        lastErrorDesc_ += ": " + detail;
    }
}

bool TTCPBlockSocket::CheckUsable()
{
    ClearError();
    if (abort_.IsAborted())
    {
        SetError(kNetErrAborted);
        return false;
    }
    return true;
}

void TTCPBlockSocket::Abort()
{
    abort_.Abort();
}

void TTCPBlockSocket::ResetAbort()
{
    abort_.Reset();
}

// ---- Settings

void TTCPBlockSocket::SetBufferSizes(int sendBytes, int recvBytes)
{
    sendBufferSize_ = sendBytes;
    recvBufferSize_ = recvBytes;
}

void TTCPBlockSocket::SetHTTPTunnel(const std::string& host, const std::string& port, const std::string& user,
                                    const std::string& password)
{
    tunnelHost_ = host;
    tunnelPort_ = port;
    tunnelUser_ = user;
    tunnelPassword_ = password;
}

void TTCPBlockSocket::SetVerifyCertificate(bool verify, const std::string& caFile)
{
    verifyCertificate_ = verify;
    caFile_ = caFile;
}

void TTCPBlockSocket::SetCertificateFiles(const std::string& certificateFile, const std::string& keyFile,
                                          const std::string& password)
{
    certificateFile_ = certificateFile;
    keyFile_ = keyFile;
    keyPassword_ = password;
}

// ---- Waiting

int TTCPBlockSocket::WaitFor(TWait direction, int timeoutMs)
{
    if (fd_ < 0)
    {
        return ENOTCONN;
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    while (true)
    {
        if (abort_.IsAborted())
        {
            return kNetErrAborted;
        }
        int waitMs = RemainingMs(deadline);
        // Without an eventfd the abort flag is looked at in short slices.
        if (abort_.Fd() < 0 && (waitMs < 0 || waitMs > 50))
        {
            waitMs = 50;
        }
        pollfd fds[2] = {{fd_, static_cast<short>(direction == TWait::Read ? POLLIN : POLLOUT), 0},
                         {abort_.Fd(), POLLIN, 0}};
        const int count = poll(fds, 2, waitMs);
        if (count < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            return errno;
        }
        if (abort_.IsAborted())
        {
            return kNetErrAborted;
        }
        if (count > 0 && fds[0].revents != 0)
        {
            // Errors and hang-ups are reported by the read or write that follows.
            return kNetErrOk;
        }
        if (RemainingMs(deadline) == 0)
        {
            return kNetErrTimeout;
        }
    }
}

void TTCPBlockSocket::Throttle(int bytesPerSecond, std::size_t bytes, uint64_t& nextAllowedMs)
{
    if (bytesPerSecond <= 0 || bytes == 0)
    {
        return;
    }
    const uint64_t now = NowMs();
    nextAllowedMs = std::max(nextAllowedMs, now) + bytes * 1000 / static_cast<uint64_t>(bytesPerSecond);
    if (nextAllowedMs <= now)
    {
        return;
    }
    // The pause ends early on an abort; the caller's next step then reports it.
    pollfd abortFd{abort_.Fd(), POLLIN, 0};
    const uint64_t deadline = nextAllowedMs;
    int waitMs = 0;
    while (!abort_.IsAborted() && (waitMs = RemainingMs(deadline)) > 0)
    {
        poll(&abortFd, 1, abortFd.fd < 0 ? std::min(waitMs, 50) : waitMs);
    }
}

// ---- Socket creation, binding and connecting

bool TTCPBlockSocket::CreateSocket(int family)
{
    fd_ = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd_ < 0)
    {
        SetError(errno);
        return false;
    }
    ApplySocketOptions();
    return true;
}

void TTCPBlockSocket::ApplySocketOptions()
{
    const int one = 1;
    // Request and reply protocols send small pieces; Nagle's delay only slows them down.
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    if (sendBufferSize_ > 0)
    {
        setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &sendBufferSize_, sizeof(sendBufferSize_));
    }
    if (recvBufferSize_ > 0)
    {
        setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &recvBufferSize_, sizeof(recvBufferSize_));
    }
    if (lingerMs_ >= 0)
    {
        linger value{1, (lingerMs_ + 999) / 1000};
        setsockopt(fd_, SOL_SOCKET, SO_LINGER, &value, sizeof(value));
    }
}

bool TTCPBlockSocket::Bind(const std::string& ip, const std::string& port)
{
    if (!CheckUsable())
    {
        return false;
    }
    uint16_t portNumber = 0;
    const std::string portText = Trim(port).empty() ? "0" : port;
    if (!ParsePort(portText, true, portNumber))
    {
        SetError(kNetErrInvalidAddress);
        return false;
    }
    const std::string host = Trim(ip).empty() ? "0.0.0.0" : Trim(ip);
    std::vector<TNetAddress> addresses;
    std::string detail;
    const int resolved =
        ResolveHost(host, family_, connectTimeout_ > 0 ? connectTimeout_ : -1, &abort_, addresses, &detail);
    if (resolved != kNetErrOk)
    {
        SetError(resolved, detail);
        return false;
    }
    CloseSocket();
    TNetAddress address = addresses.front();
    address.SetPort(portNumber);
    if (!CreateSocket(address.Family()))
    {
        return false;
    }
    const int one = 1;
    if (portNumber != 0)
    {
        // A restarted server must get its port back while old connections linger in TIME_WAIT.
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    }
    else
    {
        // The port is chosen at connect (or listen) time instead: a bind to port 0 would search
        // the whole port table for a free port, which dominates the cost of a check when many
        // connections linger in TIME_WAIT.
        setsockopt(fd_, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof(one));
    }
    if (bind(fd_, address.Data(), address.Length()) != 0)
    {
        const int error = errno;
        CloseSocket();
        SetError(error);
        return false;
    }
    bindAddress_ = address;
    bindConstrains_ = !(IsWildcard(address) && portNumber == 0);
    fdFresh_ = true;
    return true;
}

bool TTCPBlockSocket::ConnectAddress(const TNetAddress& address, int timeoutMs)
{
    const bool useBoundFd = fd_ >= 0 && fdFresh_ && bindAddress_.Family() == address.Family();
    if (!useBoundFd)
    {
        if (bindConstrains_ && bindAddress_.Family() != address.Family())
        {
            SetError(EAFNOSUPPORT);
            return false;
        }
        CloseDescriptor();
        if (!CreateSocket(address.Family()))
        {
            return false;
        }
        // A socket that failed to connect cannot be reused, so a binding is applied again to
        // the fresh socket of every attempt.
        if (bindConstrains_ && bind(fd_, bindAddress_.Data(), bindAddress_.Length()) != 0)
        {
            SetError(errno);
            return false;
        }
    }
    fdFresh_ = false;
    if (connect(fd_, address.Data(), address.Length()) == 0)
    {
        return true;
    }
    if (errno != EINPROGRESS && errno != EINTR)
    {
        SetError(errno);
        return false;
    }
    const int waited = WaitFor(TWait::Write, timeoutMs);
    if (waited != kNetErrOk)
    {
        SetError(waited);
        return false;
    }
    int error = 0;
    socklen_t length = sizeof(error);
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
    {
        error = errno;
    }
    if (error != 0)
    {
        SetError(error);
        return false;
    }
    return true;
}

bool TTCPBlockSocket::ConnectDirect(const std::string& host, const std::string& port, int timeoutMs)
{
    uint16_t portNumber = 0;
    if (!ParsePort(port, false, portNumber))
    {
        SetError(kNetErrInvalidAddress);
        return false;
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    std::vector<TNetAddress> addresses;
    std::string detail;
    // A binding of one family skips the addresses of the other (EAFNOSUPPORT when none is left).
    const int resolved = ResolveHost(Trim(host), family_, timeoutMs, &abort_, addresses, &detail);
    if (resolved != kNetErrOk)
    {
        SetError(resolved, detail);
        return false;
    }
    for (TNetAddress& address : addresses)
    {
        address.SetPort(portNumber);
        const int left = RemainingMs(deadline);
        if (left == 0)
        {
            SetError(kNetErrTimeout);
            return false;
        }
        if (ConnectAddress(address, left))
        {
            ClearError();
            return true;
        }
        if (lastError_ == kNetErrAborted || lastError_ == kNetErrTimeout)
        {
            return false;
        }
    }
    return false;
}

bool TTCPBlockSocket::OpenTunnel(const std::string& host, const std::string& port, int timeoutMs)
{
    const std::string target =
        (host.find(':') != std::string::npos && host.front() != '[' ? "[" + host + "]" : host) + ":" + Trim(port);
    std::string request = "CONNECT " + target + " HTTP/1.0\r\nHost: " + target + "\r\n";
    if (!tunnelUser_.empty())
    {
        request += "Proxy-Authorization: Basic " + Base64Encode(tunnelUser_ + ":" + tunnelPassword_) + "\r\n";
    }
    request += "\r\n";
    if (!SendString(request))
    {
        return false;
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs > 0 ? timeoutMs : kTunnelReplyMs);
    std::string status = RecvString(RemainingMs(deadline));
    if (lastError_ != kNetErrOk)
    {
        return false;
    }
    // "HTTP/1.x 200 Connection established": any 2xx opens the tunnel.
    const std::string::size_type space = status.find(' ');
    const bool accepted = status.compare(0, 5, "HTTP/") == 0 && space != std::string::npos &&
                          status.size() > space + 1 && status[space + 1] == '2';
    while (true)
    {
        const std::string line = RecvString(RemainingMs(deadline));
        if (lastError_ != kNetErrOk)
        {
            return false;
        }
        if (line.empty())
        {
            break;
        }
    }
    if (!accepted)
    {
        SetError(kNetErrProxy, status);
        return false;
    }
    return true;
}

bool TTCPBlockSocket::Connect(const std::string& host, const std::string& port)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (fd_ >= 0 && !fdFresh_)
    {
        CloseDescriptor();
    }
    buffer_.clear();
    bufferStart_ = 0;
    skipLF_ = false;
    const int timeoutMs = connectTimeout_ > 0 ? connectTimeout_ : -1;
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    bool connected = false;
    if (tunnelHost_.empty())
    {
        connected = ConnectDirect(host, port, timeoutMs);
    }
    else
    {
        connected = ConnectDirect(tunnelHost_, tunnelPort_, timeoutMs) &&
                    OpenTunnel(host, port, timeoutMs > 0 ? std::max(RemainingMs(deadline), 1) : -1);
    }
    if (!connected)
    {
        const int error = lastError_;
        const std::string text = lastErrorDesc_;
        CloseDescriptor();
        lastError_ = error;
        lastErrorDesc_ = text;
        return false;
    }
    connectedHost_ = Trim(host);
    ClearError();
    return true;
}

// ---- TLS

void TTCPBlockSocket::SetTlsError(unsigned long fallback)
{
    const unsigned long code = ERR_peek_error() != 0 ? ERR_get_error() : fallback;
    std::string text;
    if (code != 0)
    {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof(buffer));
        const char* reason = ERR_reason_error_string(code);
        text = reason != nullptr ? reason : buffer;
    }
    if (ssl_ != nullptr && SSL_get_verify_result(ssl_) != X509_V_OK)
    {
        text += std::string(text.empty() ? "" : " (") + X509_verify_cert_error_string(SSL_get_verify_result(ssl_)) +
                (text.empty() ? "" : ")");
    }
    ERR_clear_error();
    SetError(kNetErrTls, text.empty() ? "handshake failed" : text);
}

void TTCPBlockSocket::FreeTls()
{
    if (ssl_ != nullptr)
    {
        SSL_free(ssl_);
        ssl_ = nullptr;
    }
    if (sslContext_ != nullptr)
    {
        SSL_CTX_free(sslContext_);
        sslContext_ = nullptr;
    }
}

bool TTCPBlockSocket::RunHandshake(bool client)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (fd_ < 0)
    {
        SetError(ENOTCONN);
        return false;
    }
    FreeTls();
    ERR_clear_error();
    sslContext_ = SSL_CTX_new(client ? TLS_client_method() : TLS_server_method());
    if (sslContext_ == nullptr)
    {
        SetTlsError(0);
        return false;
    }
    // Servers that close without close_notify end a body "until close" normally.
    SSL_CTX_set_options(sslContext_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    SSL_CTX_set_mode(sslContext_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (client && verifyCertificate_)
    {
        SSL_CTX_set_verify(sslContext_, SSL_VERIFY_PEER, nullptr);
        const int loaded = caFile_.empty() ? SSL_CTX_set_default_verify_paths(sslContext_)
                                           : SSL_CTX_load_verify_locations(sslContext_, caFile_.c_str(), nullptr);
        if (loaded != 1)
        {
            SetTlsError(0);
            FreeTls();
            return false;
        }
    }
    if (!client)
    {
        SSL_CTX_set_default_passwd_cb(sslContext_, PasswordCallback);
        SSL_CTX_set_default_passwd_cb_userdata(sslContext_, &keyPassword_);
        if (SSL_CTX_use_certificate_chain_file(sslContext_, certificateFile_.c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(sslContext_, keyFile_.c_str(), SSL_FILETYPE_PEM) != 1)
        {
            SetTlsError(0);
            FreeTls();
            return false;
        }
    }
    ssl_ = SSL_new(sslContext_);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, fd_) != 1)
    {
        SetTlsError(0);
        FreeTls();
        return false;
    }
    if (client)
    {
        const std::string name = sniHost_.empty() ? connectedHost_ : sniHost_;
        // Server names are host names; RFC 6066 forbids IP literals in SNI.
        if (!sniHost_.empty() && !IsIPAddress(sniHost_))
        {
            // SSL_set_tlsext_host_name() is a macro with an old-style cast.
            SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, sniHost_.data());
        }
        if (verifyCertificate_ && !name.empty())
        {
            if (IsIPAddress(name))
            {
                X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), name.c_str());
            }
            else
            {
                SSL_set1_host(ssl_, name.c_str());
            }
        }
        SSL_set_connect_state(ssl_);
    }
    else
    {
        SSL_set_accept_state(ssl_);
    }

    const uint64_t deadline = DeadlineAfter(connectTimeout_ > 0 ? connectTimeout_ : -1);
    while (true)
    {
        int result = 0;
        int error = 0;
        {
            TSigPipeBlock guard;
            ERR_clear_error();
            errno = 0;
            result = SSL_do_handshake(ssl_);
            error = SSL_get_error(ssl_, result);
        }
        if (result == 1)
        {
            return true;
        }
        int waited = kNetErrOk;
        if (error == SSL_ERROR_WANT_READ)
        {
            waited = WaitFor(TWait::Read, RemainingMs(deadline));
        }
        else if (error == SSL_ERROR_WANT_WRITE)
        {
            waited = WaitFor(TWait::Write, RemainingMs(deadline));
        }
        else if (error == SSL_ERROR_SYSCALL && errno != 0 && ERR_peek_error() == 0)
        {
            waited = errno;
        }
        else
        {
            SetTlsError(0);
            if (lastErrorDesc_ == NetErrorText(kNetErrTls) + ": handshake failed" && error == SSL_ERROR_SYSCALL)
            {
                SetError(kNetErrTls, "connection closed during the handshake");
            }
            FreeTls();
            return false;
        }
        if (waited != kNetErrOk)
        {
            SetError(waited);
            FreeTls();
            return false;
        }
    }
}

bool TTCPBlockSocket::SSLDoConnect()
{
    return RunHandshake(true);
}

bool TTCPBlockSocket::SSLAcceptConnection()
{
    return RunHandshake(false);
}

// ---- Server side

bool TTCPBlockSocket::Listen(int backlog)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (fd_ < 0 && !Bind("0.0.0.0", "0"))
    {
        return false;
    }
    if (listen(fd_, backlog) != 0)
    {
        SetError(errno);
        return false;
    }
    fdFresh_ = false;
    return true;
}

int TTCPBlockSocket::Accept(int timeoutMs)
{
    if (!CheckUsable())
    {
        return -1;
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    while (true)
    {
        const int fd = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0)
        {
            return fd;
        }
        // A connection that was reset while queued leaves nothing to accept; wait for the next.
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        {
            SetError(errno);
            return -1;
        }
        const int waited = WaitFor(TWait::Read, RemainingMs(deadline));
        if (waited != kNetErrOk)
        {
            SetError(waited);
            return -1;
        }
    }
}

void TTCPBlockSocket::Adopt(int fd)
{
    CloseSocket();
    ClearError();
    fd_ = fd;
    fdFresh_ = false;
    if (fd_ >= 0)
    {
        const int flags = fcntl(fd_, F_GETFL);
        if (flags >= 0 && (flags & O_NONBLOCK) == 0)
        {
            fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
        }
        ApplySocketOptions();
    }
}

void TTCPBlockSocket::Shutdown()
{
    if (fd_ >= 0)
    {
        shutdown(fd_, SHUT_RDWR);
    }
}

void TTCPBlockSocket::CloseSocket()
{
    CloseDescriptor();
    bindAddress_ = TNetAddress();
    bindConstrains_ = false;
}

void TTCPBlockSocket::CloseDescriptor()
{
    if (ssl_ != nullptr && fd_ >= 0)
    {
        // One attempt at close_notify; waiting for the peer's answer is not worth a hang.
        TSigPipeBlock guard;
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
    FreeTls();
    if (fd_ >= 0)
    {
        close(fd_);
        fd_ = -1;
    }
    fdFresh_ = false;
    buffer_.clear();
    bufferStart_ = 0;
    skipLF_ = false;
}

TNetAddress TTCPBlockSocket::RemoteAddress() const
{
    sockaddr_storage storage{};
    socklen_t length = sizeof(storage);
    if (fd_ < 0 || getpeername(fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
    {
        return TNetAddress();
    }
    return TNetAddress(reinterpret_cast<sockaddr*>(&storage), length);
}

TNetAddress TTCPBlockSocket::LocalAddress() const
{
    sockaddr_storage storage{};
    socklen_t length = sizeof(storage);
    if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&storage), &length) != 0)
    {
        return TNetAddress();
    }
    return TNetAddress(reinterpret_cast<sockaddr*>(&storage), length);
}

// ---- Sending

bool TTCPBlockSocket::SendBuffer(const void* data, std::size_t length)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (fd_ < 0)
    {
        SetError(ENOTCONN);
        return false;
    }
    const char* bytes = static_cast<const char*>(data);
    std::size_t sent = 0;
    while (sent < length)
    {
        if (abort_.IsAborted())
        {
            SetError(kNetErrAborted);
            return false;
        }
        std::size_t chunk = length - sent;
        if (maxSendBandwidth_ > 0)
        {
            chunk = std::min(chunk, std::max<std::size_t>(static_cast<std::size_t>(maxSendBandwidth_) / 4, 1));
        }
        long written = 0;
        TWait wait = TWait::Write;
        if (ssl_ != nullptr)
        {
            TSigPipeBlock guard;
            ERR_clear_error();
            errno = 0;
            std::size_t done = 0;
            if (SSL_write_ex(ssl_, bytes + sent, chunk, &done) == 1)
            {
                written = static_cast<long>(done);
            }
            else
            {
                const int error = SSL_get_error(ssl_, 0);
                if (error == SSL_ERROR_WANT_READ)
                {
                    wait = TWait::Read;
                }
                else if (error != SSL_ERROR_WANT_WRITE)
                {
                    if (error == SSL_ERROR_SYSCALL && errno != 0 && ERR_peek_error() == 0)
                    {
                        SetError(errno);
                    }
                    else
                    {
                        SetTlsError(0);
                    }
                    return false;
                }
            }
        }
        else
        {
            const ssize_t result = send(fd_, bytes + sent, chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (result >= 0)
            {
                written = static_cast<long>(result);
            }
            else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            {
                SetError(errno);
                return false;
            }
        }
        if (written > 0)
        {
            sent += static_cast<std::size_t>(written);
            Throttle(maxSendBandwidth_, static_cast<std::size_t>(written), nextSendMs_);
            continue;
        }
        const int waited = WaitFor(wait, sendTimeout_ > 0 ? sendTimeout_ : -1);
        if (waited != kNetErrOk)
        {
            SetError(waited);
            return false;
        }
    }
    return true;
}

// ---- Receiving

long TTCPBlockSocket::ReadAvailable(char* target, std::size_t room)
{
    if (ssl_ != nullptr)
    {
        TSigPipeBlock guard;
        ERR_clear_error();
        errno = 0;
        std::size_t done = 0;
        if (SSL_read_ex(ssl_, target, room, &done) == 1)
        {
            return static_cast<long>(done);
        }
        const int error = SSL_get_error(ssl_, 0);
        switch (error)
        {
        case SSL_ERROR_WANT_READ:
            return kReadWantRead;
        case SSL_ERROR_WANT_WRITE:
            return kReadWantWrite;
        case SSL_ERROR_ZERO_RETURN:
            return kReadEof;
        case SSL_ERROR_SYSCALL:
            if (ERR_peek_error() == 0)
            {
                if (errno == 0)
                {
                    return kReadEof;
                }
                SetError(errno);
                return kReadFailed;
            }
            break;
        default:
            break;
        }
        SetTlsError(0);
        return kReadFailed;
    }
    const ssize_t result = recv(fd_, target, room, MSG_DONTWAIT);
    if (result >= 0)
    {
        return static_cast<long>(result);
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
    {
        return kReadWantRead;
    }
    SetError(errno);
    return kReadFailed;
}

bool TTCPBlockSocket::FillBuffer(int timeoutMs)
{
    if (fd_ < 0)
    {
        SetError(ENOTCONN);
        return false;
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    std::size_t room = kReadChunk;
    if (maxRecvBandwidth_ > 0)
    {
        room = std::min(room, std::max<std::size_t>(static_cast<std::size_t>(maxRecvBandwidth_) / 4, 1));
    }
    while (true)
    {
        if (abort_.IsAborted())
        {
            SetError(kNetErrAborted);
            return false;
        }
        if (bufferStart_ > 0 && bufferStart_ >= buffer_.size() / 2)
        {
            buffer_.erase(0, bufferStart_);
            bufferStart_ = 0;
        }
        const std::size_t oldSize = buffer_.size();
        buffer_.resize(oldSize + room);
        const long result = ReadAvailable(buffer_.data() + oldSize, room);
        buffer_.resize(oldSize + static_cast<std::size_t>(std::max(result, 0L)));
        if (result > 0)
        {
            if (skipLF_)
            {
                skipLF_ = false;
                if (buffer_[bufferStart_] == '\n')
                {
                    ++bufferStart_;
                }
            }
            Throttle(maxRecvBandwidth_, static_cast<std::size_t>(result), nextRecvMs_);
            return true;
        }
        if (result == kReadEof)
        {
            SetError(kNetErrClosed);
            return false;
        }
        if (result == kReadFailed)
        {
            return false;
        }
        const int waited = WaitFor(result == kReadWantWrite ? TWait::Write : TWait::Read, RemainingMs(deadline));
        if (waited != kNetErrOk)
        {
            SetError(waited);
            return false;
        }
    }
}

void TTCPBlockSocket::DropBuffered(std::size_t count)
{
    bufferStart_ += count;
    if (bufferStart_ >= buffer_.size())
    {
        buffer_.clear();
        bufferStart_ = 0;
    }
}

bool TTCPBlockSocket::EnsureBuffered(std::size_t count, int timeoutMs)
{
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    while (Buffered() < count)
    {
        if (!FillBuffer(RemainingMs(deadline)))
        {
            return false;
        }
    }
    return true;
}

bool TTCPBlockSocket::CanRead(int timeoutMs)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (Buffered() > 0 || (ssl_ != nullptr && SSL_pending(ssl_) > 0))
    {
        return true;
    }
    const int waited = WaitFor(TWait::Read, timeoutMs);
    if (waited == kNetErrOk)
    {
        return true;
    }
    if (waited != kNetErrTimeout)
    {
        SetError(waited);
    }
    return false;
}

std::size_t TTCPBlockSocket::WaitingData()
{
    std::size_t waiting = Buffered();
    if (fd_ < 0)
    {
        return waiting;
    }
    if (ssl_ != nullptr)
    {
        waiting += static_cast<std::size_t>(std::max(SSL_pending(ssl_), 0));
    }
    int kernel = 0;
    if (ioctl(fd_, FIONREAD, &kernel) == 0 && kernel > 0)
    {
        waiting += static_cast<std::size_t>(kernel);
    }
    return waiting;
}

void TTCPBlockSocket::Purge()
{
    ClearError();
    buffer_.clear();
    bufferStart_ = 0;
    skipLF_ = false;
    if (fd_ < 0)
    {
        return;
    }
    std::vector<char> scratch(kReadChunk);
    while (ReadAvailable(scratch.data(), scratch.size()) > 0)
    {
    }
    // A failure to read ahead is the next real read's to report.
    ClearError();
}

std::string TTCPBlockSocket::RecvTerminated(int timeoutMs, std::string_view terminator)
{
    if (!CheckUsable())
    {
        return "";
    }
    if (terminator.empty())
    {
        SetError(EINVAL);
        return "";
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    std::size_t scanned = 0;
    while (true)
    {
        const std::string_view data(buffer_.data() + bufferStart_, Buffered());
        const std::size_t from = scanned >= terminator.size() ? scanned - terminator.size() + 1 : 0;
        const std::size_t found = data.find(terminator, from);
        if (found != std::string_view::npos)
        {
            if (found > maxLineLength_)
            {
                DropBuffered(found + terminator.size());
                SetError(kNetErrLineTooLong);
                return "";
            }
            std::string result(data.substr(0, found));
            DropBuffered(found + terminator.size());
            return result;
        }
        if (data.size() > maxLineLength_ + terminator.size())
        {
            DropBuffered(data.size());
            SetError(kNetErrLineTooLong);
            return "";
        }
        scanned = data.size();
        if (!FillBuffer(RemainingMs(deadline)))
        {
            return "";
        }
    }
}

std::string TTCPBlockSocket::RecvString(int timeoutMs)
{
    if (!CheckUsable())
    {
        return "";
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    std::size_t scanned = 0;
    while (true)
    {
        const char* data = buffer_.data() + bufferStart_;
        const std::size_t size = Buffered();
        std::size_t end = scanned;
        while (end < size && data[end] != '\n' && data[end] != '\r')
        {
            ++end;
        }
        if (end < size)
        {
            std::size_t consumed = end + 1;
            if (data[end] == '\r')
            {
                if (end + 1 < size)
                {
                    consumed += data[end + 1] == '\n' ? 1 : 0;
                }
                else
                {
                    // The LF of a CR LF may still be on its way.
                    skipLF_ = true;
                }
            }
            if (end > maxLineLength_)
            {
                DropBuffered(consumed);
                SetError(kNetErrLineTooLong);
                return "";
            }
            std::string line(data, end);
            DropBuffered(consumed);
            return line;
        }
        if (size > maxLineLength_)
        {
            DropBuffered(size);
            SetError(kNetErrLineTooLong);
            return "";
        }
        scanned = size;
        if (!FillBuffer(RemainingMs(deadline)))
        {
            return "";
        }
    }
}

bool TTCPBlockSocket::RecvBufferEx(void* buffer, std::size_t length, int timeoutMs)
{
    if (!CheckUsable())
    {
        return false;
    }
    if (!EnsureBuffered(length, timeoutMs))
    {
        return false;
    }
    if (length > 0)
    {
        std::memcpy(buffer, buffer_.data() + bufferStart_, length);
    }
    DropBuffered(length);
    return true;
}

std::string TTCPBlockSocket::RecvBufferStr(std::size_t length, int timeoutMs)
{
    if (!CheckUsable())
    {
        return "";
    }
    if (!EnsureBuffered(length, timeoutMs))
    {
        return "";
    }
    std::string result(buffer_, bufferStart_, length);
    DropBuffered(length);
    return result;
}

std::string TTCPBlockSocket::RecvPacket(int timeoutMs)
{
    if (!CheckUsable())
    {
        return "";
    }
    const uint64_t deadline = DeadlineAfter(timeoutMs);
    while (Buffered() == 0)
    {
        if (!FillBuffer(RemainingMs(deadline)))
        {
            return "";
        }
    }
    std::string result(buffer_, bufferStart_);
    DropBuffered(result.size());
    return result;
}

int TTCPBlockSocket::RecvByte(int timeoutMs)
{
    unsigned char byte = 0;
    return RecvBufferEx(&byte, 1, timeoutMs) ? byte : -1;
}

} // namespace wardlark
