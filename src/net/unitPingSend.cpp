#include "net/unitPingSend.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <span>

#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netdb.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wardlark
{

namespace
{

using TClock = std::chrono::steady_clock;

constexpr int kMaxPacketSize = 65500;
constexpr size_t kIcmpHeaderSize = 8;
constexpr size_t kIPv6HeaderSize = 40;
// Room for the IP header (up to 60 bytes) and the ICMP header around the echoed data, and for
// error messages, which quote at most 576 (IPv4) or 1280 (IPv6) bytes of the request.
constexpr size_t kReceiveOverhead = 136;
constexpr size_t kMinReceiveBuffer = 1280 + kReceiveOverhead;

constexpr uint8_t kIcmpEchoReply = 0;
constexpr uint8_t kIcmpUnreachable = 3;
constexpr uint8_t kIcmpSourceQuench = 4;
constexpr uint8_t kIcmpRedirect = 5;
constexpr uint8_t kIcmpEchoRequest = 8;
constexpr uint8_t kIcmpTimeExceeded = 11;
constexpr uint8_t kIcmpParameterProblem = 12;

constexpr uint8_t kIcmp6Unreachable = 1;
constexpr uint8_t kIcmp6PacketTooBig = 2;
constexpr uint8_t kIcmp6TimeExceeded = 3;
constexpr uint8_t kIcmp6ParameterProblem = 4;
constexpr uint8_t kIcmp6EchoRequest = 128;
constexpr uint8_t kIcmp6EchoReply = 129;
constexpr uint8_t kNextHeaderIcmp6 = 58;

uint16_t ReadU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void WriteU16(uint8_t* p, uint16_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value & 0xFF);
}

// The Internet checksum (RFC 1071) of `length` bytes.
uint16_t InternetChecksum(const uint8_t* data, size_t length)
{
    uint32_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2)
        sum += ReadU16(data + i);
    if (i < length)
        sum += static_cast<uint32_t>(data[i]) << 8;
    while ((sum >> 16) != 0)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum & 0xFFFF);
}

std::string NumericAddress(const sockaddr_storage& address)
{
    const socklen_t length = address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), length, host, sizeof(host), nullptr, 0,
                    NI_NUMERICHOST) != 0)
        return std::string();
    return host;
}

TICMPError ErrorOfIcmp4(uint8_t type, uint8_t code)
{
    switch (type)
    {
    case kIcmpUnreachable:
        switch (code)
        {
        case 0:  // network
        case 6:  // network unknown
        case 11: // network for type of service
            return ieUnreachNet;
        case 1:  // host
        case 7:  // host unknown
        case 12: // host for type of service
            return ieUnreachHost;
        case 2:
            return ieUnreachProtocol;
        case 3:
            return ieUnreachPort;
        case 4:
            return iePacketTooBig;
        case 9:  // network prohibited
        case 10: // host prohibited
        case 13: // communication prohibited
            return ieUnreachAdmin;
        default:
            return ieUnreachOther;
        }
    case kIcmpSourceQuench:
        return ieSourceQuench;
    case kIcmpRedirect:
        return ieRedirect;
    case kIcmpTimeExceeded:
        return ieTTLExceeded;
    case kIcmpParameterProblem:
        return ieParameter;
    default:
        return ieOther;
    }
}

TICMPError ErrorOfIcmp6(uint8_t type, uint8_t code)
{
    switch (type)
    {
    case kIcmp6Unreachable:
        switch (code)
        {
        case 0: // no route
        case 2: // beyond the scope of the source address
            return ieUnreachNet;
        case 1: // administratively prohibited
        case 5: // source address failed ingress/egress policy
        case 6: // reject route
            return ieUnreachAdmin;
        case 3:
            return ieUnreachHost;
        case 4:
            return ieUnreachPort;
        default:
            return ieUnreachOther;
        }
    case kIcmp6PacketTooBig:
        return iePacketTooBig;
    case kIcmp6TimeExceeded:
        return ieTTLExceeded;
    case kIcmp6ParameterProblem:
        return ieParameter;
    default:
        return ieOther;
    }
}

// Redirects and source quenches do not mean the request was lost: the wait goes on.
bool IsAdvisory(TICMPError error)
{
    return error == ieRedirect || error == ieSourceQuench;
}

std::atomic<uint16_t> gNextSequence{0};

} // namespace

std::string ICMPErrorText(TICMPError error)
{
    switch (error)
    {
    case ieNoError:
        return std::string();
    case ieOther:
        return "Request failed.";
    case ieTTLExceeded:
        return "TTL expired in transit.";
    case ieUnreachNet:
        return "Destination net unreachable.";
    case ieUnreachHost:
        return "Destination host unreachable.";
    case ieUnreachProtocol:
        return "Destination protocol unreachable.";
    case ieUnreachPort:
        return "Destination port unreachable.";
    case ieUnreachAdmin:
        return "Communication administratively prohibited.";
    case ieUnreachOther:
        return "Destination unreachable.";
    case iePacketTooBig:
        return "Packet needs to be fragmented.";
    case ieParameter:
        return "Parameter problem.";
    case ieSourceQuench:
        return "Source quench received.";
    case ieRedirect:
        return "Redirect received.";
    }
    return "Request failed.";
}

// One echo request in flight.
struct TPINGSend::TRequest
{
    int family = AF_INET;
    bool raw = false;
    sockaddr_storage target{};
    socklen_t targetLength = 0;
    uint16_t identifier = 0;
    uint16_t sequence = 0;
    std::vector<uint8_t> packet;
    TClock::time_point start;
    TClock::time_point deadline;

    bool succeeded = false;
    // A redirect or source quench, reported only when nothing better arrives.
    bool advisoryPending = false;
    sockaddr_storage advisoryFrom{};
    TICMPError advisoryError = ieNoError;
    int advisoryTime = 0;

    const uint8_t* Payload() const { return packet.data() + kIcmpHeaderSize; }
    size_t PayloadSize() const { return packet.size() - kIcmpHeaderSize; }
    int ElapsedMs() const
    {
        return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
    }
    // True when the quoted destination equals ours.
    bool IsTarget(const uint8_t* address) const
    {
        if (family == AF_INET)
            return std::memcmp(address, &reinterpret_cast<const sockaddr_in*>(&target)->sin_addr, 4) == 0;
        return std::memcmp(address, &reinterpret_cast<const sockaddr_in6*>(&target)->sin6_addr, 16) == 0;
    }
};

TPINGSend::TPINGSend()
{
    std::random_device random;
    identifier_ = static_cast<uint16_t>(random() & 0xFFFF);
}

TPINGSend::~TPINGSend() = default;

void TPINGSend::SetPacketSize(int size)
{
    packetSize_ = std::clamp(size, 0, kMaxPacketSize);
}

void TPINGSend::ClearResults()
{
    replyFrom_.clear();
    pingTime_ = -1;
    ttl_ = 0;
    replyError_ = ieNoError;
    replyErrorDesc_.clear();
    lastError_ = 0;
    lastErrorDesc_.clear();
}

void TPINGSend::SetSocketError(int code, const std::string& detail)
{
    lastError_ = code;
    lastErrorDesc_ = NetErrorText(code);
    if (!detail.empty() && detail != lastErrorDesc_)
        lastErrorDesc_ += ": " + detail;
}

std::string TPINGSend::ResolveName(const std::string& host)
{
    lastError_ = 0;
    lastErrorDesc_.clear();
    if (IsIPAddress(host))
        return host;
    std::vector<TNetAddress> addresses;
    std::string errorText;
    // A zero time-out means "no limit" to the resolver; a ping with no time to wait must not
    // hang in a lookup.
    const int result = ResolveHost(host, TAddressFamily::Any, std::max(timeoutMs_, 1), &abort_, addresses, &errorText);
    if (result != 0 || addresses.empty())
    {
        SetSocketError(result != 0 ? result : kNetErrHostNotFound, errorText);
        return "0.0.0.0";
    }
    for (const TNetAddress& address : addresses)
        if (address.Family() == AF_INET)
            return address.IP();
    return addresses.front().IP();
}

// Opens an ICMP socket of the wanted kind; returns the descriptor or -1 with the socket error
// set.
int TPINGSend::OpenSocket(int family)
{
    const int protocol = family == AF_INET ? static_cast<int>(IPPROTO_ICMP) : static_cast<int>(IPPROTO_ICMPV6);
    int fd = -1;
    int error = 0;
    if (socketKind_ != TPingSocketKind::Datagram)
    {
        fd = socket(family, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
        error = errno;
        if (fd >= 0)
            usedKind_ = TPingSocketKind::Raw;
    }
    if (fd < 0 && (socketKind_ == TPingSocketKind::Datagram ||
                   (socketKind_ == TPingSocketKind::Auto && (error == EPERM || error == EACCES))))
    {
        fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
        error = errno;
        if (fd >= 0)
            usedKind_ = TPingSocketKind::Datagram;
    }
    if (fd < 0)
    {
        SetSocketError(error, error == EPERM || error == EACCES
                                  ? "ICMP needs CAP_NET_RAW or a group listed in net.ipv4.ping_group_range"
                                  : std::string());
        return -1;
    }

    const int on = 1;
    bool configured = true;
    if (usedKind_ == TPingSocketKind::Raw && family == AF_INET)
    {
        // Only replies and the errors that can concern a request reach the socket.
        icmp_filter filter{};
        filter.data = ~((1U << kIcmpEchoReply) | (1U << kIcmpUnreachable) | (1U << kIcmpSourceQuench) |
                        (1U << kIcmpRedirect) | (1U << kIcmpTimeExceeded) | (1U << kIcmpParameterProblem));
        configured = setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof(filter)) == 0;
    }
    else if (usedKind_ == TPingSocketKind::Raw)
    {
        // A set bit blocks that message type.
        icmp6_filter filter{};
        std::memset(filter.icmp6_filt, 0xFF, sizeof(filter.icmp6_filt));
        for (uint8_t type :
             {kIcmp6EchoReply, kIcmp6Unreachable, kIcmp6PacketTooBig, kIcmp6TimeExceeded, kIcmp6ParameterProblem})
            filter.icmp6_filt[type >> 5] &= ~(1U << (type & 31));
        configured = setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof(filter)) == 0 &&
                     setsockopt(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof(on)) == 0;
    }
    else if (family == AF_INET)
    {
        // Datagram sockets strip the IP header, so the TTL comes as ancillary data; ICMP errors
        // about our requests arrive through the error queue.
        configured = setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof(on)) == 0 &&
                     setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof(on)) == 0;
    }
    else
    {
        configured = setsockopt(fd, IPPROTO_IPV6, IPV6_RECVHOPLIMIT, &on, sizeof(on)) == 0 &&
                     setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof(on)) == 0;
    }
    if (!configured)
    {
        SetSocketError(errno);
        close(fd);
        return -1;
    }
    return fd;
}

bool TPINGSend::Ping(const std::string& address)
{
    ClearResults();
    usedKind_ = TPingSocketKind::Auto;
    if (abort_.IsAborted())
    {
        SetSocketError(kNetErrAborted);
        replyError_ = ieOther;
        replyErrorDesc_ = ICMPErrorText(ieOther);
        return false;
    }

    TRequest request;
    {
        const std::string numeric = IsIPAddress(address) ? address : ResolveName(address);
        std::vector<TNetAddress> addresses;
        const int result =
            lastError_ != 0 ? lastError_ : ResolveHost(numeric, TAddressFamily::Any, 1, nullptr, addresses);
        if (result != 0 || addresses.empty())
        {
            if (lastError_ == 0)
                SetSocketError(result != 0 ? result : kNetErrHostNotFound);
            replyError_ = ieOther;
            replyErrorDesc_ = ICMPErrorText(ieOther);
            return false;
        }
        request.family = addresses.front().Family();
        request.targetLength = addresses.front().Length();
        std::memcpy(&request.target, addresses.front().Data(), request.targetLength);
    }

    const int fd = OpenSocket(request.family);
    if (fd < 0)
    {
        replyError_ = ieOther;
        replyErrorDesc_ = ICMPErrorText(ieOther);
        return false;
    }
    request.raw = usedKind_ == TPingSocketKind::Raw;
    request.identifier = identifier_;
    // A process-wide counter keeps two clients that drew the same identifier apart.
    request.sequence = gNextSequence.fetch_add(1, std::memory_order_relaxed);

    // The data carries a random cookie, so that on a raw socket a reply to another process's
    // request with the same identifier and sequence does not pass for ours.
    request.packet.assign(kIcmpHeaderSize + static_cast<size_t>(packetSize_), 0);
    uint8_t* header = request.packet.data();
    header[0] = request.family == AF_INET ? kIcmpEchoRequest : kIcmp6EchoRequest;
    WriteU16(header + 4, request.identifier);
    WriteU16(header + 6, request.sequence);
    {
        std::random_device random;
        std::mt19937 generator(random());
        for (size_t i = 0; i < request.PayloadSize(); ++i)
            request.packet[kIcmpHeaderSize + i] =
                i < 8 ? static_cast<uint8_t>(generator() & 0xFF) : static_cast<uint8_t>('a' + (i % 23));
    }
    // The kernel fills the ICMPv6 checksum (it covers a pseudo-header) and the datagram
    // socket's IPv4 checksum; a raw IPv4 socket sends what we give it.
    if (request.family == AF_INET)
        WriteU16(header + 2, InternetChecksum(request.packet.data(), request.packet.size()));

    request.start = TClock::now();
    request.deadline = request.start + std::chrono::milliseconds(timeoutMs_);
    ssize_t sent;
    do
        sent = sendto(fd, request.packet.data(), request.packet.size(), 0,
                      reinterpret_cast<const sockaddr*>(&request.target), request.targetLength);
    while (sent < 0 && errno == EINTR);
    bool result = false;
    if (sent < 0)
    {
        SetSocketError(errno);
        replyError_ = ieOther;
        replyErrorDesc_ = ICMPErrorText(ieOther);
    }
    else
    {
        result = WaitForReply(fd, request);
    }
    close(fd);
    return result;
}

bool TPINGSend::WaitForReply(int fd, TRequest& request)
{
    // Sized to the request rather than to the largest datagram: a thousand pings in flight
    // must not each touch 64 KiB. A longer datagram cannot be our reply and is cut short.
    const size_t bufferSize = std::max(static_cast<size_t>(packetSize_) + kReceiveOverhead, kMinReceiveBuffer);
    const auto bufferMemory = std::make_unique_for_overwrite<uint8_t[]>(bufferSize);
    const std::span<uint8_t> buffer(bufferMemory.get(), bufferSize);
    alignas(cmsghdr) uint8_t control[512];
    const int abortFd = abort_.Fd();
    for (;;)
    {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(request.deadline - TClock::now()).count();
        int waitMs = static_cast<int>(std::max<decltype(remaining)>(remaining, 0));
        if (abortFd < 0)
            waitMs = std::min(waitMs, 50);
        pollfd fds[2] = {{fd, POLLIN, 0}, {abortFd, POLLIN, 0}};
        const int ready = poll(fds, abortFd >= 0 ? 2 : 1, waitMs);
        if (ready < 0 && errno != EINTR)
        {
            SetSocketError(errno);
            replyError_ = ieOther;
            replyErrorDesc_ = ICMPErrorText(ieOther);
            return false;
        }
        if (abort_.IsAborted())
        {
            SetSocketError(kNetErrAborted);
            replyError_ = ieOther;
            replyErrorDesc_ = ICMPErrorText(ieOther);
            return false;
        }
        if (ready > 0 && (fds[0].revents & POLLERR) != 0 && !request.raw && HandleErrorQueue(fd, request))
            return request.succeeded;
        if (ready > 0 && (fds[0].revents & POLLIN) != 0)
        {
            // Everything already queued is looked at before the time-out is judged, so a reply
            // that came just in time counts.
            for (;;)
            {
                sockaddr_storage from{};
                iovec vector{buffer.data(), buffer.size()};
                msghdr message{};
                message.msg_name = &from;
                message.msg_namelen = sizeof(from);
                message.msg_iov = &vector;
                message.msg_iovlen = 1;
                message.msg_control = control;
                message.msg_controllen = sizeof(control);
                const ssize_t received = recvmsg(fd, &message, MSG_DONTWAIT);
                if (received < 0)
                    break; // drained, or a pending socket error whose details the error queue holds
                int ttl = 0;
                for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item))
                {
                    if ((item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_TTL) ||
                        (item->cmsg_level == IPPROTO_IPV6 && item->cmsg_type == IPV6_HOPLIMIT))
                        std::memcpy(&ttl, CMSG_DATA(item), sizeof(ttl));
                }
                if (HandlePacket(request, buffer.data(), static_cast<size_t>(received), from, ttl))
                    return request.succeeded;
            }
        }
        if (TClock::now() >= request.deadline)
            break;
    }

    if (request.advisoryPending)
    {
        replyFrom_ = NumericAddress(request.advisoryFrom);
        pingTime_ = request.advisoryTime;
        replyError_ = request.advisoryError;
    }
    else
    {
        replyError_ = ieOther;
    }
    replyErrorDesc_ = replyError_ == ieOther ? "Request timed out." : ICMPErrorText(replyError_);
    return false;
}

bool TPINGSend::HandlePacket(TRequest& request, const uint8_t* data, size_t length, const sockaddr_storage& from,
                             int ttl)
{
    const uint8_t* icmp = data;
    size_t icmpLength = length;
    if (request.raw && request.family == AF_INET)
    {
        // A raw IPv4 socket hands over the whole datagram, IP header included.
        if (length < 20 || (data[0] >> 4) != 4)
            return false;
        const size_t headerLength = static_cast<size_t>(data[0] & 0x0F) * 4;
        if (headerLength < 20 || length < headerLength + kIcmpHeaderSize || data[9] != IPPROTO_ICMP)
            return false;
        ttl = data[8];
        icmp = data + headerLength;
        icmpLength = length - headerLength;
        if (InternetChecksum(icmp, icmpLength) != 0)
            return false;
    }
    if (icmpLength < kIcmpHeaderSize)
        return false;

    const uint8_t type = icmp[0];
    const uint8_t code = icmp[1];
    const uint8_t replyType = request.family == AF_INET ? kIcmpEchoReply : kIcmp6EchoReply;
    if (type == replyType)
    {
        // The kernel rewrites the identifier of a datagram socket and routes only its own
        // replies to it, so there the sequence and data are what identify the request.
        if (code != 0 || (request.raw && ReadU16(icmp + 4) != request.identifier) ||
            ReadU16(icmp + 6) != request.sequence || icmpLength - kIcmpHeaderSize != request.PayloadSize() ||
            std::memcmp(icmp + kIcmpHeaderSize, request.Payload(), request.PayloadSize()) != 0)
            return false;
        replyFrom_ = NumericAddress(from);
        pingTime_ = request.ElapsedMs();
        ttl_ = ttl;
        replyError_ = ieNoError;
        replyErrorDesc_.clear();
        request.succeeded = true;
        return true;
    }
    if (!request.raw)
        return false;

    // An error message quotes the start of the datagram it is about: IP header, then our ICMP
    // header with identifier and sequence.
    const uint8_t* quoted = icmp + kIcmpHeaderSize;
    const size_t quotedLength = icmpLength - kIcmpHeaderSize;
    const uint8_t* quotedIcmp = nullptr;
    if (request.family == AF_INET)
    {
        if (quotedLength < 20 || (quoted[0] >> 4) != 4)
            return false;
        const size_t headerLength = static_cast<size_t>(quoted[0] & 0x0F) * 4;
        if (headerLength < 20 || quotedLength < headerLength + kIcmpHeaderSize || quoted[9] != IPPROTO_ICMP ||
            !request.IsTarget(quoted + 16))
            return false;
        quotedIcmp = quoted + headerLength;
        if (quotedIcmp[0] != kIcmpEchoRequest)
            return false;
    }
    else
    {
        if (quotedLength < kIPv6HeaderSize + kIcmpHeaderSize || (quoted[0] >> 4) != 6 ||
            quoted[6] != kNextHeaderIcmp6 || !request.IsTarget(quoted + 24))
            return false;
        quotedIcmp = quoted + kIPv6HeaderSize;
        if (quotedIcmp[0] != kIcmp6EchoRequest)
            return false;
    }
    if (ReadU16(quotedIcmp + 4) != request.identifier || ReadU16(quotedIcmp + 6) != request.sequence)
        return false;
    TakeError(request, from, type, code);
    return !request.advisoryPending;
}

bool TPINGSend::HandleErrorQueue(int fd, TRequest& request)
{
    uint8_t data[576];
    alignas(cmsghdr) uint8_t control[512];
    for (;;)
    {
        iovec vector{data, sizeof(data)};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        const ssize_t received = recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (received < 0)
            return false;
        for (cmsghdr* item = CMSG_FIRSTHDR(&message); item != nullptr; item = CMSG_NXTHDR(&message, item))
        {
            if (!(item->cmsg_level == IPPROTO_IP && item->cmsg_type == IP_RECVERR) &&
                !(item->cmsg_level == IPPROTO_IPV6 && item->cmsg_type == IPV6_RECVERR))
                continue;
            sock_extended_err error{};
            std::memcpy(&error, CMSG_DATA(item), sizeof(error));
            // The queued data is our own request, starting at its ICMP header.
            const uint8_t requestType = request.family == AF_INET ? kIcmpEchoRequest : kIcmp6EchoRequest;
            if (static_cast<size_t>(received) < kIcmpHeaderSize || data[0] != requestType ||
                ReadU16(data + 6) != request.sequence)
                continue;
            if (error.ee_origin == SO_EE_ORIGIN_ICMP || error.ee_origin == SO_EE_ORIGIN_ICMP6)
            {
                // The sender of the error message follows the structure.
                sockaddr_storage offender{};
                const size_t room = item->cmsg_len - CMSG_LEN(sizeof(error));
                std::memcpy(&offender, CMSG_DATA(item) + sizeof(error), std::min(room, sizeof(offender)));
                TakeError(request, offender, error.ee_type, error.ee_code);
                if (!request.advisoryPending)
                    return true;
            }
            else if (error.ee_errno != 0)
            {
                SetSocketError(static_cast<int>(error.ee_errno));
                replyError_ = ieOther;
                replyErrorDesc_ = ICMPErrorText(ieOther);
                return true;
            }
        }
    }
}

void TPINGSend::TakeError(TRequest& request, const sockaddr_storage& from, uint8_t type, uint8_t code)
{
    const TICMPError error = request.family == AF_INET ? ErrorOfIcmp4(type, code) : ErrorOfIcmp6(type, code);
    if (IsAdvisory(error))
    {
        request.advisoryPending = true;
        request.advisoryFrom = from;
        request.advisoryError = error;
        request.advisoryTime = request.ElapsedMs();
        return;
    }
    request.advisoryPending = false;
    replyFrom_ = NumericAddress(from);
    pingTime_ = request.ElapsedMs();
    ttl_ = 0;
    replyError_ = error;
    replyErrorDesc_ = ICMPErrorText(error);
}

} // namespace wardlark
