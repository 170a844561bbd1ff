// The parked requests of the select task and the decisions it takes on
// them, apart from lwIP and the virtual machine so they can be checked on
// their own: 16 request records on two lists (free and parked, each used
// as a stack), the socket sets and the nearest deadline of one pass, and
// which requests a pass finishes.
#pragma once

#include <cstdint>

namespace tarvelo::net {

constexpr int kSelectRequests = 16;
// lwIP has 10 sockets: 0 to 9; no other number is ever entered in a set.
constexpr int kSelectSockets = 10;
constexpr std::int64_t kNoDeadline = INT64_MAX;
// Without a wake-up socket, and after a failed select, the task polls.
constexpr std::int64_t kSelectPollMs = 100;

enum SelectOperation : std::uint8_t { kSelectRead = 0, kSelectWrite = 1 };

struct SelectRequest {
    std::int32_t socket;
    std::int32_t threadId;
    std::int64_t deadline;  // absolute system time in ms, 0 for none
    std::uint8_t operation;
    SelectRequest* next;
};

// A socket set laid out as lwIP's: bit (n mod 8) of byte (n / 8).
struct SocketSet {
    std::uint8_t bits[(kSelectSockets + 7) / 8];
    void clear() {
        for (auto& b : bits) b = 0;
    }
    void set(int n) { bits[n / 8] = static_cast<std::uint8_t>(bits[n / 8] | (1u << (n % 8))); }
    bool isSet(int n) const { return n >= 0 && n < kSelectSockets && (bits[n / 8] & (1u << (n % 8))) != 0; }
};

// What one select pass waits for.
struct SelectPlan {
    int width;             // highest socket entered + 1 (0 when none)
    std::int64_t earliest; // kNoDeadline: wait without limit
    SocketSet read;
    SocketSet write;
};

class SelectRequestLists {
public:
    // Links the records into the free list unless already done.
    void init();
    bool initialized() const { return initialized_; }
    SelectRequest* popFree();
    void pushFree(SelectRequest* r);
    void pushUsed(SelectRequest* r);
    // Moves the thread's parked request, if any, back to the free list.
    bool releaseByThread(std::int32_t threadId);
    int freeCount() const;
    int usedCount() const;
    const SelectRequest* used() const { return used_; }

    // The sets, width and nearest deadline of a pass. `wakeSocket` is the
    // wake-up socket (-1 for none).
    SelectPlan plan(std::int32_t wakeSocket, std::int64_t now) const;

    // After a select that answered (0 or more): finishes every request whose
    // socket is ready in the sets as lwIP left them or whose deadline has
    // passed. `resume(threadId)` is called for each; the rest keep their order.
    template <typename Resume>
    int finishReady(const SocketSet& read, const SocketSet& write, std::int64_t now, Resume resume) {
        return finishIf([&](const SelectRequest& r) {
            const bool ready = (r.operation == kSelectRead && read.isSet(r.socket)) ||
                               (r.operation == kSelectWrite && write.isSet(r.socket));
            return ready || deadlinePassed(r, now);
        }, resume);
    }

    // After a failed select: the sets mean nothing; finishes only the
    // requests whose socket is no longer valid (their retry reports the
    // error) or whose deadline has passed.
    template <typename IsInvalid, typename Resume>
    int finishInvalid(std::int64_t now, IsInvalid isInvalid, Resume resume) {
        return finishIf([&](const SelectRequest& r) { return isInvalid(r.socket) || deadlinePassed(r, now); }, resume);
    }

private:
    static bool deadlinePassed(const SelectRequest& r, std::int64_t now) { return r.deadline != 0 && now >= r.deadline; }

    template <typename Finished, typename Resume>
    int finishIf(Finished finished, Resume resume) {
        int count = 0;
        SelectRequest** link = &used_;
        while (*link != nullptr) {
            SelectRequest* r = *link;
            if (finished(*r)) {
                resume(r->threadId);
                *link = r->next;
                pushFree(r);
                ++count;
            } else {
                link = &r->next;
            }
        }
        return count;
    }

    SelectRequest all_[kSelectRequests] = {};
    SelectRequest* free_ = nullptr;
    SelectRequest* used_ = nullptr;
    bool initialized_ = false;
};

}  // namespace tarvelo::net
