#include <gtest/gtest.h>

#include <cstring>

#include "engine/CBreakpointCfg.h"
#include "engine/CIOTask.h"
#include "engine/CTaskResult.h"
#include "engine/ResumeData.h"
#include "engine/ThreadMessages.h"
#include "platform/TextConvert.h"
#include "support/TestFiles.h"

namespace {

const std::string kUrl = "http://127.0.0.1:1/pkg/TzGameSetup.exe";

std::string Header(int32_t count, int64_t total)
{
    std::string bytes(12, '\0');
    memcpy(&bytes[0], &count, 4);
    memcpy(&bytes[4], &total, 8);
    return bytes;
}

std::string SegmentBytes(uint32_t start, uint32_t end, const std::string& url, const std::string& path)
{
    std::unique_ptr<ResumeSegment> s(ResumeSegment::Make(start, end, url, path));
    return std::string(reinterpret_cast<const char*>(s.get()), sizeof(ResumeSegment));
}

// A record file for target, written directly.
void WriteRecord(const std::string& target, const std::string& bytes) { ASSERT_TRUE(WriteFileBytes(target + ".cfg", bytes)); }

bool LoadFor(const std::string& target, ResumeData& data) { return CBreakpointCfg::LoadFile(target + ".cfg", data); }

} // namespace

TEST(ResumeRecord, TwoSegmentsAreSavedInTheFileLayoutAndLoadBack)
{
    TempDir dir;
    const std::string target = dir.File("TzGameSetup2.5.17.3.tmp");
    // A longer, older record must not leave its tail behind.
    WriteRecord(target, std::string(3000, 'x'));
    {
        CBreakpointCfg record;
        record.SetTarget(target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, kUrl, target));
        record.AddSegment(ResumeSegment::Make(200, 299, kUrl, target));
        EXPECT_EQ(record.RecordPath(), target + ".cfg");
    } // written when the record goes, as at process exit

    const std::string bytes = ReadFileBytes(target + ".cfg");
    ASSERT_EQ(bytes.size(), 1052u);
    EXPECT_EQ(bytes, Header(2, 1000) + SegmentBytes(0, 99, kUrl, target) + SegmentBytes(200, 299, kUrl, target));
    EXPECT_EQ(bytes.substr(12 + 8, kUrl.size() + 1), kUrl + std::string(1, '\0'));
    EXPECT_EQ(bytes.substr(12 + 264, target.size()), target);
    EXPECT_NE(GetFileAttributesW(Utf8ToWide(target + ".cfg").c_str()) & FILE_ATTRIBUTE_ARCHIVE, 0u);

    ResumeData data;
    ASSERT_TRUE(LoadFor(target, data));
    EXPECT_EQ(data.count, 2);
    EXPECT_EQ(data.totalSize, 1000);
    EXPECT_EQ(data.RemainingBytes(), 200);
    EXPECT_TRUE(data.Fits(kUrl, target, 1000));
}

TEST(ResumeRecord, NothingHeldAtExitRemovesALeftoverFile)
{
    TempDir dir;
    const std::string target = dir.File("pkg.tmp");
    WriteRecord(target, Header(2, 1000));
    {
        CBreakpointCfg record;
        record.SetTarget(target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, kUrl, target));
        record.ClearSegments(); // a restart drops what was held
        EXPECT_TRUE(FileExists(target + ".cfg")) << "dropping segments leaves the file alone";
    }
    EXPECT_FALSE(FileExists(target + ".cfg"));

    CBreakpointCfg unnamed;
    EXPECT_FALSE(unnamed.RemoveRecordFile());
    unnamed.SetTarget(target, 1);
    EXPECT_FALSE(unnamed.RemoveRecordFile()) << "no file, nothing deleted";
}

TEST(ResumeRecord, DamagedRecordsAreNotLoaded)
{
    TempDir dir;
    const std::string target = dir.File("pkg.tmp");
    const std::string one = SegmentBytes(0, 99, kUrl, target);
    ResumeData data;

    WriteRecord(target, Header(3, 1000) + one + one); // count says 3, file holds 2
    EXPECT_FALSE(LoadFor(target, data));
    WriteRecord(target, Header(1, 1000) + one + one); // trailing bytes
    EXPECT_FALSE(LoadFor(target, data));
    WriteRecord(target, Header(-1, 1000));
    EXPECT_FALSE(LoadFor(target, data));
    WriteRecord(target, Header(0x7fffffff, 1000) + one);
    EXPECT_FALSE(LoadFor(target, data));
    WriteRecord(target, Header(1, 1000).substr(0, 7));
    EXPECT_FALSE(LoadFor(target, data));
    DeleteFileW(Utf8ToWide(target + ".cfg").c_str());
    EXPECT_FALSE(LoadFor(target, data));

    WriteRecord(target, Header(1, 1000) + one);
    EXPECT_TRUE(LoadFor(target, data));
}

TEST(ResumeRecord, OnlyARecordOfThisDownloadFits)
{
    const std::string path = "C:\\q\\pkg.tmp";
    auto data = [&](std::initializer_list<std::pair<uint32_t, uint32_t>> ranges, int64_t total = 1000,
                    const std::string& url = kUrl, const std::string& p = "C:\\q\\pkg.tmp") {
        auto d = std::make_unique<ResumeData>();
        d->totalSize = total;
        for (auto r : ranges) d->segments.emplace_back(ResumeSegment::Make(r.first, r.second, url, p));
        d->count = static_cast<int32_t>(d->segments.size());
        return d;
    };
    EXPECT_TRUE(data({{0, 99}, {200, 299}})->Fits(kUrl, path, 1000));
    EXPECT_TRUE(data({{100, 99}, {999, 999}})->Fits(kUrl, path, 1000)) << "an empty remainder and the last byte";
    EXPECT_FALSE(data({{0, 1000}})->Fits(kUrl, path, 1000)) << "past the end of the file";
    EXPECT_FALSE(data({{101, 99}})->Fits(kUrl, path, 1000)) << "start beyond end + 1";
    EXPECT_FALSE(data({{0, 199}, {100, 299}})->Fits(kUrl, path, 1000)) << "overlapping segments";
    EXPECT_FALSE(data({{0, 99}})->Fits(kUrl, path, 1001)) << "the server's size changed";
    EXPECT_FALSE(data({{0, 99}}, 1000, kUrl + "?v=2")->Fits(kUrl, path, 1000));
    EXPECT_FALSE(data({{0, 99}}, 1000, kUrl, "C:\\q\\other.tmp")->Fits(kUrl, path, 1000));
    EXPECT_FALSE(data({})->Fits(kUrl, path, 1000));
    auto miscounted = data({{0, 99}});
    miscounted->count = 2;
    EXPECT_FALSE(miscounted->Fits(kUrl, path, 1000));
}

TEST(ResumeRecord, NamesTooLongForASegmentAreNotRecorded)
{
    EXPECT_EQ(ResumeSegment::Make(0, 1, std::string(256, 'u'), "p"), nullptr);
    EXPECT_EQ(ResumeSegment::Make(0, 1, "u", std::string(256, 'p')), nullptr);
    std::unique_ptr<ResumeSegment> fits(ResumeSegment::Make(0, 1, std::string(255, 'u'), std::string(255, 'p')));
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(fits->url[255], '\0');
    EXPECT_EQ(fits->path[255], '\0');
}

TEST(ChunkWriter, WritesAtItsOffsetAndReportsOnlyWrittenBytes)
{
    TempDir dir;
    const std::string path = dir.File("target.bin");
    ASSERT_TRUE(WriteFileBytes(path, std::string(10000, '\0')));
    HANDLE file = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);

    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE); // this thread receives the results
    const std::string chunk = PatternBytes(4096, 5);
    CIOTask write(file, chunk.data(), 4096, 5000, 9, 10000, path, 123, 0);
    write.SetNotifyThreadId(GetCurrentThreadId());
    EXPECT_TRUE(write.Run());
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, TM_TASK_RESULT, TM_TASK_RESULT, PM_REMOVE));
    std::unique_ptr<CTaskResult> result(reinterpret_cast<CTaskResult*>(msg.wParam));
    EXPECT_EQ(msg.lParam, 4096);
    EXPECT_EQ(result->taskId, 9);
    EXPECT_EQ(result->done.load(), 4096);
    EXPECT_EQ(result->totalSize, 10000);
    EXPECT_EQ(result->startTick, 123u);

    // The range task has closed its file: nothing written, nothing posted, no failure.
    CIOTask closed(nullptr, chunk.data(), 4096, 0, 9, 10000, path, 123, 0);
    closed.SetNotifyThreadId(GetCurrentThreadId());
    EXPECT_TRUE(closed.Run());
    CloseHandle(file);

    // A handle that cannot write: a failure, and nothing counted.
    HANDLE readOnly = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    CIOTask refused(readOnly, chunk.data(), 4096, 0, 9, 10000, path, 123, 0);
    refused.SetNotifyThreadId(GetCurrentThreadId());
    EXPECT_FALSE(refused.Run());
    CloseHandle(readOnly);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, TM_TASK_RESULT, TM_TASK_RESULT, PM_REMOVE));

    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes.substr(5000, 4096), chunk);
    EXPECT_EQ(bytes.substr(0, 5000), std::string(5000, '\0'));
    EXPECT_EQ(bytes.substr(9096), std::string(904, '\0'));
}
