#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/unitResolver.h"

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace wardlark
{

// A blocking TCP connection over IPv4 or IPv6, with optional TLS (OpenSSL), line-oriented
// reading, time-outs on every wait and an abort that another thread can raise.
//
// Every call records its result: LastError() is 0 and LastErrorDesc() "" after a call that
// succeeded; after a failure LastError() is either an errno value (LastErrorDesc() is the C
// library's text, for example ECONNREFUSED "Connection refused") or one of the TNetError codes of
// net/unitResolver.h: kNetErrTimeout, kNetErrHostNotFound, kNetErrResolveFailed (with the
// resolver's text), kNetErrTls (with OpenSSL's text, "TLS error: ..."), kNetErrLineTooLong,
// kNetErrAborted, kNetErrClosed (the peer closed the connection), kNetErrInvalidAddress (a port or
// address that does not parse), kNetErrProxy (the HTTP tunnel refused the connection).
//
// Time-outs are in milliseconds. A receive time-out of 0 uses only data that has already
// arrived; a negative one waits without limit. Connect and send wait as long as the system
// allows unless SetConnectTimeout / SetSendTimeout set a positive limit. Every wait also ends at
// once when Abort() is called.
//
// The descriptor is kept nonblocking; all waits are poll() calls with the time left.
//
// Thread safety: one thread owns the socket and makes every call except Abort(). Abort() may be
// called from any other thread at any time, also while the owner is blocked in a call or
// closing the socket: it breaks the current wait, and every later call fails at once with
// kNetErrAborted until the owner calls ResetAbort(). CloseSocket() does not lower the abort, so
// an abort that arrives between two operations is never lost.
class TTCPBlockSocket
{
public:
    TTCPBlockSocket();
    ~TTCPBlockSocket();
    TTCPBlockSocket(const TTCPBlockSocket&) = delete;
    TTCPBlockSocket& operator=(const TTCPBlockSocket&) = delete;

    // ---- Results

    int LastError() const { return lastError_; }
    const std::string& LastErrorDesc() const { return lastErrorDesc_; }

    // ---- Abort

    // Breaks any wait of the owner's current call (resolve, connect, TLS handshake, send,
    // receive) and makes later calls fail with kNetErrAborted. Callable from any thread.
    void Abort();
    // Lowers the abort again. Owner thread only, between operations.
    void ResetAbort();
    bool IsAborted() const { return abort_.IsAborted(); }

    // ---- Settings (owner thread)

    // Family wanted when a host name resolves to both (default: the resolver's order, trying
    // each address in turn).
    void SetFamily(TAddressFamily family) { family_ = family; }
    // Limit of one connection attempt, including name resolution and the proxy tunnel; 0 or
    // less: the system's own limit.
    void SetConnectTimeout(int milliseconds) { connectTimeout_ = milliseconds; }
    // Limit of each wait for room to send; 0 or less: no limit.
    void SetSendTimeout(int milliseconds) { sendTimeout_ = milliseconds; }
    // Longest line RecvString and RecvTerminated collect before failing with kNetErrLineTooLong
    // (the collected bytes are dropped). Default 1048576.
    void SetMaxLineLength(std::size_t length) { maxLineLength_ = length; }
    // Bytes per second; 0 means unlimited. Enforced by pausing (abortably) after each transfer.
    void SetMaxSendBandwidth(int bytesPerSecond) { maxSendBandwidth_ = bytesPerSecond; }
    void SetMaxRecvBandwidth(int bytesPerSecond) { maxRecvBandwidth_ = bytesPerSecond; }
    // SO_LINGER for CloseSocket; a negative time switches lingering off (the default).
    void SetLinger(int milliseconds) { lingerMs_ = milliseconds; }
    // Size of the kernel's send and receive buffers; 0 keeps the system's.
    void SetBufferSizes(int sendBytes, int recvBytes);

    // An HTTP proxy through which Connect opens a "CONNECT host:port" tunnel; an empty host
    // connects directly. `user` non-empty adds Basic proxy authorization.
    void SetHTTPTunnel(const std::string& host, const std::string& port, const std::string& user,
                       const std::string& password);

    // TLS settings. The server name sent as SNI in SSLDoConnect (empty: none). Verification of the
    // server's certificate is off by default, because monitored services often use self-signed
    // certificates; when on, the chain is checked against `caFile` (empty: the system's store)
    // and the name against the SNI name (or the connected host when no SNI name is set).
    void SetSNIHost(const std::string& host) { sniHost_ = host; }
    const std::string& SNIHost() const { return sniHost_; }
    void SetVerifyCertificate(bool verify, const std::string& caFile = "");
    // Certificate and key (PEM files) for SSLAcceptConnection; `password` unlocks the key.
    void SetCertificateFiles(const std::string& certificateFile, const std::string& keyFile,
                             const std::string& password = "");

    // ---- Connection

    // Binds the local end to `ip` ("" or "0.0.0.0" or "::" for any) and `port` ("" or "0" for
    // any) and keeps the descriptor. Binding the IPv4 wildcard to port 0 does not tie the
    // connection to IPv4: Connect to an IPv6 address drops that binding and uses a fresh IPv6
    // socket, because such a binding asks for nothing the system would not choose anyway. Any
    // other binding must match the family of the address connected to. The binding holds for
    // every later Connect until CloseSocket() or the next Bind. True on success.
    bool Bind(const std::string& ip, const std::string& port);

    // Resolves `host` and connects to it at `port` (decimal text), trying every address the
    // name has until one answers, or through the HTTP tunnel when one is set. An open connection
    // is closed first. True on success; on failure the descriptor is closed and LastError() tells
    // why (the error of the last address tried).
    bool Connect(const std::string& host, const std::string& port);

    // Runs the TLS client handshake on the connected socket, sending SNIHost() when set.
    // Waits up to the connect time-out (none: without limit, abortable). True on success;
    // failures give kNetErrTls with OpenSSL's reason (or the system error or time-out met).
    bool SSLDoConnect();
    // Runs the TLS server handshake with the files of SetCertificateFiles; waits up to the
    // connect time-out. True on success.
    bool SSLAcceptConnection();
    bool SSLEnabled() const { return ssl_ != nullptr; }

    // Binds (as by Bind, when not bound yet) and listens. True on success.
    bool Listen(int backlog = 128);
    // Waits up to `timeoutMs` for a pending connection and accepts it. The new descriptor
    // (nonblocking, close-on-exec) belongs to the caller, who hands it to another socket with
    // Adopt(); -1 on failure or time-out.
    int Accept(int timeoutMs = -1);
    // Closes what this socket holds and takes over `fd`, an accepted connection.
    void Adopt(int fd);
    // The descriptor, or -1 when closed.
    int Handle() const { return fd_; }

    // Shuts the connection down in both directions (the descriptor stays open).
    void Shutdown();
    // Ends TLS (a close_notify without waiting for the reply), closes the descriptor, empties
    // the receive buffer and forgets the binding. Keeps the settings and the abort state. Never
    // fails.
    void CloseSocket();

    TNetAddress RemoteAddress() const;
    TNetAddress LocalAddress() const;
    std::string GetRemoteSinIP() const { return RemoteAddress().IP(); }
    int GetRemoteSinPort() const { return RemoteAddress().Port(); }
    std::string GetLocalSinIP() const { return LocalAddress().IP(); }
    int GetLocalSinPort() const { return LocalAddress().Port(); }

    // ---- Sending (waits for room as SetSendTimeout says)

    bool SendString(std::string_view data) { return SendBuffer(data.data(), data.size()); }
    bool SendBuffer(const void* data, std::size_t length);

    // ---- Receiving

    // True when data (or the peer's close) can be read within `timeoutMs`. False on time-out,
    // when closed, or when aborted (LastError() says which; a time-out here is not an error).
    bool CanRead(int timeoutMs);
    // Bytes that can be read without waiting: buffered, decrypted and in the kernel.
    std::size_t WaitingData();
    // Drops every byte that has arrived so far.
    void Purge();

    // One line without its end (CR LF, LF or CR; an LF right after a CR ending the previous line
    // is skipped). "" with LastError() set on failure; a partial line stays buffered after a
    // time-out, so calling again continues it.
    std::string RecvString(int timeoutMs);
    // Bytes up to `terminator` (not included; an empty terminator fails with EINVAL). Partial data
    // stays buffered after a time-out.
    std::string RecvTerminated(int timeoutMs, std::string_view terminator);
    // Exactly `length` bytes; on failure "" and the bytes received so far stay buffered.
    std::string RecvBufferStr(std::size_t length, int timeoutMs);
    // Exactly `length` bytes into `buffer`; true on success. On failure the bytes received so far
    // stay buffered (none is written to `buffer` that a later call would repeat).
    bool RecvBufferEx(void* buffer, std::size_t length, int timeoutMs);
    // Whatever is available, after waiting up to `timeoutMs` for the first bytes. "" with
    // kNetErrTimeout when nothing arrived, kNetErrClosed when the peer closed.
    std::string RecvPacket(int timeoutMs);
    // One byte (0..255), or -1 with LastError() set.
    int RecvByte(int timeoutMs);

private:
    enum class TWait
    {
        Read,
        Write
    };

    void SetError(int code);
    void SetError(int code, const std::string& detail);
    void ClearError();
    bool CheckUsable();
    int WaitFor(TWait direction, int timeoutMs);
    bool ConnectAddress(const TNetAddress& address, int timeoutMs);
    bool ConnectDirect(const std::string& host, const std::string& port, int timeoutMs);
    bool OpenTunnel(const std::string& host, const std::string& port, int timeoutMs);
    bool CreateSocket(int family);
    // Closes TLS and the descriptor but keeps the binding for the next attempt.
    void CloseDescriptor();
    void ApplySocketOptions();
    bool RunHandshake(bool client);
    void FreeTls();
    void SetTlsError(unsigned long fallback);
    // Reads once from the connection into the buffer, waiting up to `timeoutMs`; false with the
    // error set when nothing could be read.
    bool FillBuffer(int timeoutMs);
    // Reads what is available without waiting; returns the bytes read, -1 on an error.
    long ReadAvailable(char* target, std::size_t room);
    bool EnsureBuffered(std::size_t count, int timeoutMs);
    void Throttle(int bytesPerSecond, std::size_t bytes, uint64_t& nextAllowedMs);
    void DropBuffered(std::size_t count);
    std::size_t Buffered() const { return buffer_.size() - bufferStart_; }

    TAbortToken abort_;
    int fd_ = -1;
    SSL_CTX* sslContext_ = nullptr;
    SSL* ssl_ = nullptr;

    int lastError_ = 0;
    std::string lastErrorDesc_;

    std::string buffer_; // received, not yet returned
    std::size_t bufferStart_ = 0;
    bool skipLF_ = false;

    TAddressFamily family_ = TAddressFamily::Any;
    int connectTimeout_ = 0;
    int sendTimeout_ = 0;
    std::size_t maxLineLength_ = 1048576;
    int maxSendBandwidth_ = 0;
    int maxRecvBandwidth_ = 0;
    uint64_t nextSendMs_ = 0;
    uint64_t nextRecvMs_ = 0;
    int lingerMs_ = -1;
    int sendBufferSize_ = 0;
    int recvBufferSize_ = 0;

    // The binding Bind() asked for; `bindConstrains_` is false for a wildcard address with port 0,
    // which any socket family may ignore. `fdFresh_` marks a descriptor that is bound but has not
    // been used for a connection attempt yet.
    TNetAddress bindAddress_;
    bool bindConstrains_ = false;
    bool fdFresh_ = false;

    std::string tunnelHost_;
    std::string tunnelPort_;
    std::string tunnelUser_;
    std::string tunnelPassword_;

    std::string sniHost_;
    std::string connectedHost_;
    bool verifyCertificate_ = false;
    std::string caFile_;
    std::string certificateFile_;
    std::string keyFile_;
    std::string keyPassword_;
};

} // namespace wardlark
