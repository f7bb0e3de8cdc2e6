#include "io/IoRequest.h"

#include <cstring>

void IoRequest::Init(IoRoutine complete, IoRoutine abandon) {
    std::memset(&overlapped, 0, sizeof overlapped);
    onComplete = complete;
    onAbandon = abandon;
    error = 0;
    transferred = 0;
    prev = nullptr;
    next = nullptr;
    list = nullptr;
    call = 0;
}

void IoRequest::Link(IoRequest** head) {
    if (list)
        return;
    list = head;
    prev = nullptr;
    next = *head;
    if (next)
        next->prev = this;
    *head = this;
}

void IoRequest::Unlink() {
    if (!list)
        return;
    if (next)
        next->prev = prev;
    if (prev)
        prev->next = next;
    else if (*list == this)
        *list = next;
    prev = nullptr;
    next = nullptr;
    list = nullptr;
}
