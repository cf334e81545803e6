#pragma once
#include <windows.h>

#include <cstdint>

#include "platform/CLock.h"
#include "platform/ScopedLock.h"
#include "platform/UniqueHandle.h"

namespace dblinklst {

// A doubly linked list that owns its items, each step under the list's own
// lock. Items are inserted at the head and taken from the tail, so they come
// out in the order they went in. Items need GetTaskId() and a virtual
// destructor. The tag only tells the process-wide instances apart.
//
// An event is kept signalled while the list holds items, so that an idle
// consumer can wait for work instead of polling.
template <class T, char Tag = 0>
class DbLinkLst {
public:
    DbLinkLst() : notEmpty_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    virtual ~DbLinkLst() { Clear(); }
    DbLinkLst(const DbLinkLst&) = delete;
    DbLinkLst& operator=(const DbLinkLst&) = delete;

    void InsertHead(T* item)
    {
        if (item == nullptr) return;
        ScopedLock hold(lock_);
        Node* node = new Node{item, head_, nullptr};
        if (head_ != nullptr) head_->prev = node;
        head_ = node;
        if (tail_ == nullptr) tail_ = node;
        ++count_;
        SetEvent(notEmpty_.Get());
    }

    // Removes the item at the tail and hands it to the caller; null when empty.
    T* TakeTail()
    {
        ScopedLock hold(lock_);
        if (tail_ == nullptr) return nullptr;
        Node* node = tail_;
        T* item = node->item;
        Unlink(node);
        return item;
    }

    // Calls f(item&) on the tail item under the lock; false when empty. The
    // item may be deleted by another thread as soon as the lock is left, so
    // whatever is needed from it must be copied inside f.
    template <class F>
    bool WithTail(F&& f)
    {
        ScopedLock hold(lock_);
        if (tail_ == nullptr) return false;
        f(*tail_->item);
        return true;
    }

    // Calls f(item&) under the lock on the first item, from the head, with
    // the given task id; false when there is none.
    template <class F>
    bool WithTaskId(int32_t taskId, F&& f)
    {
        ScopedLock hold(lock_);
        Node* node = FindNode(taskId);
        if (node == nullptr) return false;
        f(*node->item);
        return true;
    }

    bool Contains(int32_t taskId)
    {
        ScopedLock hold(lock_);
        return FindNode(taskId) != nullptr;
    }

    // Removes and deletes the first item with the task id; false when none.
    bool Remove(int32_t taskId)
    {
        T* item = nullptr;
        {
            ScopedLock hold(lock_);
            Node* node = FindNode(taskId);
            if (node == nullptr) return false;
            item = node->item;
            Unlink(node);
        }
        delete item;
        return true;
    }

    void Clear()
    {
        Node* node = nullptr;
        {
            ScopedLock hold(lock_);
            node = head_;
            head_ = tail_ = nullptr;
            count_ = 0;
            ResetEvent(notEmpty_.Get());
        }
        // Items are deleted outside the lock: their destructors may post or
        // take other locks.
        while (node != nullptr) {
            Node* next = node->next;
            delete node->item;
            delete node;
            node = next;
        }
    }

    size_t Count()
    {
        ScopedLock hold(lock_);
        return count_;
    }

    // Signalled while the list holds at least one item.
    HANDLE NotEmptyEvent() const { return notEmpty_.Get(); }

private:
    struct Node {
        T* item;
        Node* next;  // towards the tail
        Node* prev;  // towards the head
    };

    Node* FindNode(int32_t taskId) const
    {
        for (Node* node = head_; node != nullptr; node = node->next)
            if (node->item->GetTaskId() == taskId) return node;
        return nullptr;
    }

    // Caller holds the lock; frees the node, not the item.
    void Unlink(Node* node)
    {
        if (node->prev != nullptr)
            node->prev->next = node->next;
        else
            head_ = node->next;
        if (node->next != nullptr)
            node->next->prev = node->prev;
        else
            tail_ = node->prev;
        delete node;
        if (--count_ == 0) ResetEvent(notEmpty_.Get());
    }

    CLock lock_;
    Node* head_ = nullptr;
    Node* tail_ = nullptr;
    size_t count_ = 0;
    UniqueHandle notEmpty_;
};

}  // namespace dblinklst
