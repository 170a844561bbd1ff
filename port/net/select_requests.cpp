#include "port/net/select_requests.h"

namespace tarvelo::net {

void SelectRequestLists::init() {
    if (initialized_) return;
    for (int i = 0; i < kSelectRequests; ++i) all_[i].next = i + 1 < kSelectRequests ? &all_[i + 1] : nullptr;
    free_ = &all_[0];
    used_ = nullptr;
    initialized_ = true;
}

SelectRequest* SelectRequestLists::popFree() {
    SelectRequest* r = free_;
    if (r != nullptr) {
        free_ = r->next;
        r->next = nullptr;
    }
    return r;
}

void SelectRequestLists::pushFree(SelectRequest* r) {
    r->next = free_;
    free_ = r;
}

void SelectRequestLists::pushUsed(SelectRequest* r) {
    r->next = used_;
    used_ = r;
}

bool SelectRequestLists::releaseByThread(std::int32_t threadId) {
    for (SelectRequest** link = &used_; *link != nullptr; link = &(*link)->next) {
        SelectRequest* r = *link;
        if (r->threadId == threadId) {
            *link = r->next;
            pushFree(r);
            return true;
        }
    }
    return false;
}

int SelectRequestLists::freeCount() const {
    int n = 0;
    for (const SelectRequest* r = free_; r != nullptr; r = r->next) ++n;
    return n;
}

int SelectRequestLists::usedCount() const {
    int n = 0;
    for (const SelectRequest* r = used_; r != nullptr; r = r->next) ++n;
    return n;
}

SelectPlan SelectRequestLists::plan(std::int32_t wakeSocket, std::int64_t now) const {
    SelectPlan p{};
    p.read.clear();
    p.write.clear();
    int highest = -1;
    if (wakeSocket >= 0 && wakeSocket < kSelectSockets) {
        p.read.set(wakeSocket);
        highest = wakeSocket;
        p.earliest = kNoDeadline;
    } else {
        p.earliest = now + kSelectPollMs;
    }
    for (const SelectRequest* r = used_; r != nullptr; r = r->next) {
        if (r->deadline != 0 && r->deadline < p.earliest) p.earliest = r->deadline;
        // Sockets at or above 10 are never lwIP's: entering them in the
        // width would make every select fail.
        if (r->socket < 0 || r->socket >= kSelectSockets) continue;
        if (r->socket > highest) highest = r->socket;
        if (r->operation == kSelectRead) {
            p.read.set(r->socket);
        } else {
            p.write.set(r->socket);
        }
    }
    p.width = highest + 1;
    return p;
}

}  // namespace tarvelo::net
