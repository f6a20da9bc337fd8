#include "net/unitResolver.h"

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace wardlark
{

std::string NetErrorText(int code)
{
    switch (code)
    {
    case kNetErrOk:
        return "";
    case kNetErrTimeout:
        return "Operation timed out";
    case kNetErrHostNotFound:
        return "Host not found";
    case kNetErrResolveFailed:
        return "Name resolution failed";
    case kNetErrTls:
        return "TLS error";
    case kNetErrLineTooLong:
        return "Line too long";
    case kNetErrAborted:
        return "Operation aborted";
    case kNetErrClosed:
        return "Connection closed by the peer";
    case kNetErrInvalidAddress:
        return "Invalid address or port";
    case kNetErrProxy:
        return "Proxy tunnel failed";
    default:
        break;
    }
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
    return strerror_r(code, buffer, sizeof(buffer));
}

TAbortToken::TAbortToken() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC))
{
}

TAbortToken::~TAbortToken()
{
    if (fd_ >= 0)
    {
        close(fd_);
    }
}

void TAbortToken::Abort()
{
    aborted_.store(true, std::memory_order_release);
    if (fd_ >= 0)
    {
        const uint64_t one = 1;
        // Nonblocking: a full counter only means the descriptor is readable already.
        [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof(one));
    }
}

void TAbortToken::Reset()
{
    aborted_.store(false, std::memory_order_release);
    if (fd_ >= 0)
    {
        uint64_t value = 0;
        [[maybe_unused]] const ssize_t got = read(fd_, &value, sizeof(value));
    }
}

TNetAddress::TNetAddress()
{
    std::memset(&storage_, 0, sizeof(storage_));
    storage_.ss_family = AF_UNSPEC;
}

TNetAddress::TNetAddress(const sockaddr* address, socklen_t length) : TNetAddress()
{
    if (address != nullptr && length <= sizeof(storage_) &&
        (address->sa_family == AF_INET || address->sa_family == AF_INET6))
    {
        std::memcpy(&storage_, address, length);
        length_ = length;
    }
}

int TNetAddress::Family() const
{
    return storage_.ss_family;
}

std::string TNetAddress::IP() const
{
    if (IsEmpty())
    {
        return "";
    }
    char host[NI_MAXHOST];
    if (getnameinfo(Data(), length_, host, sizeof(host), nullptr, 0, NI_NUMERICHOST) != 0)
    {
        return "";
    }
    return host;
}

uint16_t TNetAddress::Port() const
{
    if (storage_.ss_family == AF_INET)
    {
        return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
    }
    if (storage_.ss_family == AF_INET6)
    {
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    }
    return 0;
}

void TNetAddress::SetPort(uint16_t port)
{
    if (storage_.ss_family == AF_INET)
    {
        reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = htons(port);
    }
    else if (storage_.ss_family == AF_INET6)
    {
        reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = htons(port);
    }
}

const sockaddr* TNetAddress::Data() const
{
    return reinterpret_cast<const sockaddr*>(&storage_);
}

bool IsIPAddress(const std::string& text)
{
    unsigned char buffer[sizeof(in6_addr)];
    if (inet_pton(AF_INET, text.c_str(), buffer) == 1)
    {
        return true;
    }
    const std::string::size_type zone = text.find('%');
    if (zone != std::string::npos && zone + 1 == text.size())
    {
        return false;
    }
    return inet_pton(AF_INET6, text.substr(0, zone).c_str(), buffer) == 1;
}

namespace
{

int FamilyValue(TAddressFamily family)
{
    switch (family)
    {
    case TAddressFamily::IPv4:
        return AF_INET;
    case TAddressFamily::IPv6:
        return AF_INET6;
    case TAddressFamily::Any:
        break;
    }
    return AF_UNSPEC;
}

// Runs getaddrinfo and turns its answer into addresses; used for literals (numeric only, so it
// never blocks) and on the helper thread.
int Lookup(const std::string& name, int family, bool numericOnly, std::vector<TNetAddress>& addresses,
           std::string& errorText)
{
    addresses.clear();
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = numericOnly ? AI_NUMERICHOST : 0;
    addrinfo* list = nullptr;
    const int status = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (status != 0)
    {
        if (status == EAI_NONAME || status == EAI_NODATA || status == EAI_FAMILY || status == EAI_ADDRFAMILY)
        {
            return kNetErrHostNotFound;
        }
        errorText = status == EAI_SYSTEM ? NetErrorText(errno) : gai_strerror(status);
        return kNetErrResolveFailed;
    }
    for (const addrinfo* item = list; item != nullptr; item = item->ai_next)
    {
        TNetAddress address(item->ai_addr, item->ai_addrlen);
        if (address.IsEmpty())
        {
            continue;
        }
        address.SetPort(0);
        bool duplicate = false;
        for (const TNetAddress& known : addresses)
        {
            duplicate = duplicate || (known.Length() == address.Length() &&
                                      std::memcmp(known.Data(), address.Data(), address.Length()) == 0);
        }
        if (!duplicate)
        {
            addresses.push_back(address);
        }
    }
    freeaddrinfo(list);
    return addresses.empty() ? kNetErrHostNotFound : kNetErrOk;
}

// State shared between a caller and its lookup thread; whichever lets go last frees it.
struct TLookupState
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    int result = kNetErrResolveFailed;
    std::vector<TNetAddress> addresses;
    std::string errorText;
    // Readable once the lookup has finished, so a caller can poll it with an abort token.
    int doneFd = -1;

    ~TLookupState()
    {
        if (doneFd >= 0)
        {
            close(doneFd);
        }
    }
};

int WaitForLookup(TLookupState& state, int timeoutMs, const TAbortToken* abort)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true)
    {
        {
            std::lock_guard<std::mutex> guard(state.lock);
            if (state.finished)
            {
                return kNetErrOk;
            }
        }
        if (abort != nullptr && abort->IsAborted())
        {
            return kNetErrAborted;
        }
        int waitMs = -1;
        if (timeoutMs > 0)
        {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0)
            {
                return kNetErrTimeout;
            }
            waitMs = static_cast<int>(left);
        }
        // Without a descriptor to poll, look at the flags in short slices.
        const bool sliced = state.doneFd < 0 || (abort != nullptr && abort->Fd() < 0);
        if (sliced && (waitMs < 0 || waitMs > 50))
        {
            waitMs = 50;
        }
        if (state.doneFd < 0)
        {
            std::unique_lock<std::mutex> guard(state.lock);
            state.done.wait_for(guard, std::chrono::milliseconds(waitMs), [&state] { return state.finished; });
            continue;
        }
        pollfd fds[2] = {{state.doneFd, POLLIN, 0}, {abort != nullptr ? abort->Fd() : -1, POLLIN, 0}};
        const int count = poll(fds, 2, waitMs);
        if (count < 0 && errno != EINTR)
        {
            return errno;
        }
    }
}

} // namespace

int ResolveHost(const std::string& name, TAddressFamily family, int timeoutMs, const TAbortToken* abort,
                std::vector<TNetAddress>& addresses, std::string* errorText)
{
    addresses.clear();
    std::string text = name;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
    {
        text = text.substr(1, text.size() - 2);
    }
    if (text.empty())
    {
        return kNetErrInvalidAddress;
    }
    if (abort != nullptr && abort->IsAborted())
    {
        return kNetErrAborted;
    }
    std::string detail;
    if (IsIPAddress(text))
    {
        const int result = Lookup(text, FamilyValue(family), true, addresses, detail);
        if (errorText != nullptr)
        {
            *errorText = detail;
        }
        return result;
    }

    auto state = std::make_shared<TLookupState>();
    state->doneFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    const int familyValue = FamilyValue(family);
    try
    {
        std::thread(
            [state, text, familyValue]
            {
                std::vector<TNetAddress> found;
                std::string foundText;
                const int result = Lookup(text, familyValue, false, found, foundText);
                std::lock_guard<std::mutex> guard(state->lock);
                state->result = result;
                state->addresses = std::move(found);
                state->errorText = std::move(foundText);
                state->finished = true;
                state->done.notify_all();
                if (state->doneFd >= 0)
                {
                    const uint64_t one = 1;
                    [[maybe_unused]] const ssize_t written = write(state->doneFd, &one, sizeof(one));
                }
            })
            .detach();
    }
    catch (const std::system_error& error)
    {
        if (errorText != nullptr)
        {
            *errorText = error.what();
        }
        return kNetErrResolveFailed;
    }

    const int waited = WaitForLookup(*state, timeoutMs, abort);
    if (waited != kNetErrOk)
    {
        return waited;
    }
    std::lock_guard<std::mutex> guard(state->lock);
    if (errorText != nullptr)
    {
        *errorText = state->errorText;
    }
    if (state->result == kNetErrOk)
    {
        addresses = state->addresses;
    }
    return state->result;
}

} // namespace wardlark
