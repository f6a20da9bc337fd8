#pragma once

#include "net/unitResolver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wardlark
{

// What an ICMP error message said about an echo request, or why no reply came.
enum TICMPError : int
{
    ieNoError = 0,     // an echo reply arrived, or no ping has run yet
    ieOther = 1,       // no reply within the time-out, the request could not be sent, or aborted
    ieTTLExceeded = 2, // time exceeded in transit or in reassembly
    ieUnreachNet = 3,  // destination network unreachable (also unknown network, no route)
    ieUnreachHost = 4, // destination host unreachable (also unknown host, address unreachable)
    ieUnreachProtocol = 5,
    ieUnreachPort = 6,
    ieUnreachAdmin = 7, // communication administratively prohibited
    ieUnreachOther = 8, // any other unreachable code (source route failed, ...)
    iePacketTooBig = 9, // fragmentation needed / packet too big
    ieParameter = 10,   // parameter problem
    ieSourceQuench = 11,
    ieRedirect = 12,
};

// The client's own English text of a reply error kind ("" for ieNoError).
std::string ICMPErrorText(TICMPError error);

// Which kind of ICMP socket a ping uses.
enum class TPingSocketKind
{
    Auto,     // a raw socket when the process may open one, otherwise a datagram socket
    Raw,      // SOCK_RAW: needs root or CAP_NET_RAW
    Datagram, // the kernel's unprivileged ICMP socket: the group must lie in ping_group_range
};

// An ICMP echo client for IPv4 and IPv6.
//
// Usage: set the time-out and data size, then call Ping once per echo request and read the
// reply fields afterwards. Every Ping opens its own socket and closes it before returning, so
// nothing stays open between pings.
//
// A raw socket sees every ICMP packet of the host; replies are accepted only when identifier,
// sequence number and the echoed data match the request, and ICMP error messages only when the
// request they quote is ours (destination, identifier, sequence). On a datagram socket the
// kernel picks the identifier and delivers only this socket's replies; errors arrive through
// the socket's error queue.
//
// Ping and ResolveName are virtual so that tests can put a scripted client where the program
// makes one.
//
// Thread safety: one thread uses the client (settings, Ping, results); Abort may be called from
// any other thread at any time while the client exists.
class TPINGSend
{
public:
    TPINGSend();
    virtual ~TPINGSend();
    TPINGSend(const TPINGSend&) = delete;
    TPINGSend& operator=(const TPINGSend&) = delete;

    // Milliseconds a Ping (and a name resolution) waits at most; negative counts as 0, which
    // sends the request and takes only what has already arrived. Default 5000.
    void SetTimeout(int timeoutMs) { timeoutMs_ = timeoutMs < 0 ? 0 : timeoutMs; }
    int Timeout() const { return timeoutMs_; }
    // Bytes of data after the ICMP header, clipped to 0..65500. Default 32.
    void SetPacketSize(int size);
    int PacketSize() const { return packetSize_; }
    // Default Auto. A fixed kind that the system refuses makes every Ping fail with the
    // socket's error.
    void SetSocketKind(TPingSocketKind kind) { socketKind_ = kind; }
    // The kind the last Ping opened (Auto when it opened none).
    TPingSocketKind UsedSocketKind() const { return usedKind_; }

    // The numeric address of `host`: an IP address is returned as it is; a name is resolved
    // (waiting at most the time-out, breaking off on Abort) and its first IPv4 address is
    // returned, else its first IPv6 address. A name that cannot be resolved gives "0.0.0.0"
    // and leaves the reason in LastError/LastErrorDesc.
    virtual std::string ResolveName(const std::string& host);

    // Sends one echo request to `address` (an IP address; a name is resolved first) and waits
    // for the matching echo reply. Returns true when it arrived: ReplyFrom, PingTime and TTL
    // describe it and ReplyError is ieNoError. Returns false otherwise:
    //  - an ICMP error message about the request arrived: ReplyError tells its kind and
    //    ReplyFrom the router that sent it (redirects and source quenches do not end the wait;
    //    they are reported only when no reply follows);
    //  - nothing arrived within the time-out: ieOther, "Request timed out.", no socket error;
    //  - the socket could not be opened or the request not sent, the name not resolved, or the
    //    client was aborted: ieOther and LastError/LastErrorDesc hold the reason (kNetErrAborted
    //    after Abort).
    virtual bool Ping(const std::string& address);

    // Source address of the reply or error message ("" when none came).
    const std::string& ReplyFrom() const { return replyFrom_; }
    // Round-trip time in milliseconds of the reply or error message; -1 when none came.
    int PingTime() const { return pingTime_; }
    // TTL (IPv4) or hop limit (IPv6) of the echo reply; 0 when unknown.
    int TTL() const { return ttl_; }
    TICMPError ReplyError() const { return replyError_; }
    const std::string& ReplyErrorDesc() const { return replyErrorDesc_; }
    // The last socket or resolver error of the last Ping or ResolveName: an errno value or a
    // TNetError code, 0 when there was none; and its text.
    int LastError() const { return lastError_; }
    const std::string& LastErrorDesc() const { return lastErrorDesc_; }

    // Breaks off a running Ping or ResolveName at once; it and every later call on this client
    // fail with kNetErrAborted. Safe from any thread.
    void Abort() { abort_.Abort(); }
    bool Aborted() const { return abort_.IsAborted(); }

private:
    struct TRequest;

    void ClearResults();
    void SetSocketError(int code, const std::string& detail = std::string());
    int OpenSocket(int family);
    bool WaitForReply(int fd, TRequest& request);
    // Looks at one received datagram; true when it ends the ping.
    bool HandlePacket(TRequest& request, const uint8_t* data, size_t length, const sockaddr_storage& from, int ttl);
    bool HandleErrorQueue(int fd, TRequest& request);
    void TakeError(TRequest& request, const sockaddr_storage& from, uint8_t type, uint8_t code);

    int timeoutMs_ = 5000;
    int packetSize_ = 32;
    TPingSocketKind socketKind_ = TPingSocketKind::Auto;
    TPingSocketKind usedKind_ = TPingSocketKind::Auto;
    uint16_t identifier_ = 0;

    std::string replyFrom_;
    int pingTime_ = -1;
    int ttl_ = 0;
    TICMPError replyError_ = ieNoError;
    std::string replyErrorDesc_;
    int lastError_ = 0;
    std::string lastErrorDesc_;

    TAbortToken abort_;
};

} // namespace wardlark
