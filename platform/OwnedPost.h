#pragma once
#include <windows.h>

#include <memory>

// Records that cross threads travel by pointer in a posted message's wParam.
// The hand-over rule, for every such message: the sender holds the record in
// a unique_ptr and lets go of it only when the post succeeded; from then on
// the record belongs to the receiver, which takes it back into a unique_ptr
// (TakePosted) before anything else. A post that fails leaves the record
// with the sender, who may post it again or fold it into a later one.

namespace owned_post {
// PostThreadMessageW, unless a test has asked for failures.
[[nodiscard]] bool PostToThread(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam);
// For tests: the next `count` posts of `message` fail as at a full queue.
void FailPostsForTest(UINT message, int count);
}  // namespace owned_post

template <class T>
[[nodiscard]] bool PostOwned(DWORD thread, UINT message, std::unique_ptr<T>& record, LPARAM param = 0)
{
    if (!owned_post::PostToThread(thread, message, reinterpret_cast<WPARAM>(record.get()), param)) return false;
    record.release();
    return true;
}

template <class T>
std::unique_ptr<T> TakePosted(WPARAM wParam)
{
    return std::unique_ptr<T>(reinterpret_cast<T*>(wParam));
}
