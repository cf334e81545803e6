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
const std::string kPath = "C:\\q\\TzGameSetup2.5.17.3.tmp";

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

ResumeData Data(std::initializer_list<std::pair<uint32_t, uint32_t>> ranges, int64_t total = 1000,
                const std::string& url = kUrl)
{
    ResumeData d;
    d.totalSize = total;
    for (auto r : ranges) d.segments.emplace_back(ResumeSegment::Make(r.first, r.second, url, kPath));
    d.count = static_cast<int32_t>(d.segments.size());
    return d;
}

}  // namespace

TEST(ResumeRecord, TwoSegmentsAreSavedInTheFileLayoutAndLoadBack)
{
    TempDir dir;
    const std::string target = dir.File("TzGameSetup2.5.17.3.tmp");
    ASSERT_TRUE(WriteFileBytes(target, std::string(1000, 'd')));
    ASSERT_TRUE(WriteFileBytes(target + ".cfg", std::string(3000, 'x')));  // an older, longer record
    {
        CBreakpointCfg record;
        record.SetTarget(target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, kUrl, target));
        record.AddSegment(ResumeSegment::Make(200, 299, kUrl, target));
    }  // written as the record goes, as at process exit

    const std::string bytes = ReadFileBytes(target + ".cfg");
    EXPECT_EQ(bytes.size(), 1052u) << "no tail of the older file is left";
    EXPECT_EQ(bytes, Header(2, 1000) + SegmentBytes(0, 99, kUrl, target) + SegmentBytes(200, 299, kUrl, target));
    EXPECT_EQ(bytes.substr(20, kUrl.size() + 1), kUrl + '\0');
    EXPECT_EQ(bytes.substr(276, target.size()), target);
    ResumeData data;
    ASSERT_TRUE(CBreakpointCfg::LoadFile(target + ".cfg", data));
    EXPECT_EQ(data.RemainingBytes(), 200);
    EXPECT_TRUE(data.Fits(target, 1000));

    // Dropped segments (a restart) and nothing held at exit: the file goes.
    {
        CBreakpointCfg record;
        record.SetTarget(target, 1000);
        record.AddSegment(ResumeSegment::Make(0, 99, kUrl, target));
        record.ClearSegments();
        EXPECT_TRUE(FileExists(target + ".cfg"));
    }
    EXPECT_FALSE(FileExists(target + ".cfg"));
    CBreakpointCfg unnamed;
    EXPECT_FALSE(unnamed.RemoveRecordFile());
}

TEST(ResumeRecord, FilesLoadWhenTheyHoldTheirCountOfSegments)
{
    TempDir dir;
    const std::string record = dir.File("pkg.tmp.cfg");
    const std::string one = SegmentBytes(0, 99, kUrl, kPath);
    std::string many;
    for (int i = 0; i <= ResumeData::kMaxSegments; ++i) many += one;
    ResumeData data;
    for (const std::string& damaged :
         {Header(3, 1000) + one + one, Header(-1, 1000), Header(0x7fffffff, 1000) + one, Header(1, 1000).substr(0, 7),
          Header(ResumeData::kMaxSegments + 1, 1000) + many}) {
        ASSERT_TRUE(WriteFileBytes(record, damaged));
        EXPECT_FALSE(CBreakpointCfg::LoadFile(record, data)) << damaged.size() << " bytes";
    }
    // A save over an older, longer record leaves its tail, which is never read.
    for (const std::string& good : {Header(1, 1000) + one, Header(1, 1000) + one + one, Header(1, 1000) + one + "x"}) {
        ASSERT_TRUE(WriteFileBytes(record, good));
        ASSERT_TRUE(CBreakpointCfg::LoadFile(record, data)) << good.size() << " bytes";
        EXPECT_EQ(data.segments.size(), 1u);
        EXPECT_EQ(data.RemainingBytes(), 100);
    }
}

TEST(ResumeRecord, AFailedSaveKeepsTheRecordOnDisk)
{
    TempDir dir;
    const std::string target = dir.File("pkg.tmp");
    ASSERT_TRUE(WriteFileBytes(target, std::string(1000, 'd')));
    CBreakpointCfg record;
    record.SetTarget(target, 1000);
    record.AddSegment(ResumeSegment::Make(0, 99, kUrl, target));
    ASSERT_TRUE(record.Save());
    const std::string saved = ReadFileBytes(target + ".cfg");
    // The new record cannot be written beside it.
    ASSERT_TRUE(CreateDirectoryW(Utf8ToWide(target + ".cfg.new").c_str(), nullptr));
    record.AddSegment(ResumeSegment::Make(200, 299, kUrl, target));
    EXPECT_FALSE(record.Save());
    EXPECT_EQ(ReadFileBytes(target + ".cfg"), saved);
    RemoveDirectoryW(Utf8ToWide(target + ".cfg.new").c_str());
    record.ClearSegments();
}

TEST(ResumeRecord, OnlyARecordOfThisDownloadFits)
{
    EXPECT_TRUE(Data({{0, 99}, {200, 299}}).Fits(kPath, 1000));
    EXPECT_TRUE(Data({{100, 99}, {999, 999}}).Fits(kPath, 1000)) << "an empty remainder and the last byte";
    EXPECT_FALSE(Data({{0, 1000}}).Fits(kPath, 1000)) << "past the end of the file";
    EXPECT_FALSE(Data({{101, 99}}).Fits(kPath, 1000)) << "start beyond end + 1";
    EXPECT_FALSE(Data({{0, 199}, {100, 299}}).Fits(kPath, 1000)) << "overlapping segments";
    EXPECT_FALSE(Data({{0, 99}}).Fits(kPath, 1001)) << "the server's size changed";
    EXPECT_TRUE(Data({{0, 99}}, 1000, kUrl + "?token=2").Fits(kPath, 1000)) << "the same file by another URL";
    EXPECT_FALSE(Data({{0, 99}}).Fits("C:\\q\\other.tmp", 1000));
    EXPECT_FALSE(Data({}).Fits(kPath, 1000));

    // A name that does not fit its 256 bytes is never recorded, not cut short.
    EXPECT_EQ(ResumeSegment::Make(0, 1, std::string(256, 'u'), "p"), nullptr);
    EXPECT_EQ(ResumeSegment::Make(0, 1, "u", std::string(256, 'p')), nullptr);
    std::unique_ptr<ResumeSegment> longest(ResumeSegment::Make(0, 1, std::string(255, 'u'), "p"));
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(longest->url[255], '\0');
}

TEST(ChunkWriter, WritesAtItsOffsetAndReportsOnlyWrittenBytes)
{
    TempDir dir;
    const std::string path = dir.File("target.bin");
    ASSERT_TRUE(WriteFileBytes(path, std::string(10000, '\0')));
    auto open = [&](DWORD access) {
        return CreateFileW(Utf8ToWide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    };
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // this thread receives the results
    const std::string chunk = PatternBytes(4096, 5);
    auto run = [&](HANDLE file) {
        CIOTask write(file, chunk.data(), 4096, 5000, 9, 10000, path, 123, 0);
        write.SetNotifyThreadId(GetCurrentThreadId());
        return write.Run();
    };

    HANDLE file = open(GENERIC_WRITE);
    EXPECT_TRUE(run(file));
    CloseHandle(file);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, TM_TASK_RESULT, TM_TASK_RESULT, PM_REMOVE));
    std::unique_ptr<CTaskResult> result(reinterpret_cast<CTaskResult*>(msg.wParam));
    EXPECT_EQ(msg.lParam, 4096);
    EXPECT_EQ(result->done.load(), 4096);
    EXPECT_EQ(result->taskId, 9);
    EXPECT_EQ(result->totalSize, 10000);

    EXPECT_TRUE(run(nullptr)) << "the range task closed its file: nothing to write, no failure";
    HANDLE readOnly = open(GENERIC_READ);
    EXPECT_FALSE(run(readOnly)) << "a write that fails";
    CloseHandle(readOnly);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, TM_TASK_RESULT, TM_TASK_RESULT, PM_REMOVE)) << "and neither is counted";

    EXPECT_EQ(ReadFileBytes(path), std::string(5000, '\0') + chunk + std::string(904, '\0'));
}

TEST(ResumeRecord, BytesReadBackExactlyAndOnlyWhenTheLengthHoldsTheCount)
{
    ResumeData held = Data({{0, 99}, {200, 299}});
    const std::vector<char> bytes = held.ToBytes();
    ASSERT_EQ(bytes.size(), 12u + 2 * 520u);
    ResumeData read;
    ASSERT_TRUE(ResumeData::FromBytes(bytes.data(), bytes.size(), &read));
    EXPECT_EQ(read.count, 2);
    EXPECT_EQ(read.totalSize, 1000);
    EXPECT_EQ(read.ToBytes(), bytes);

    const std::string two = Header(2, 1000) + SegmentBytes(0, 99, kUrl, kPath) + SegmentBytes(200, 299, kUrl, kPath);
    const std::string negative = Header(-1, 1000);
    ASSERT_TRUE(ResumeData::FromBytes((two + "tail").data(), two.size() + 4, &read));
    EXPECT_EQ(read.ToBytes(), bytes) << "a tail is not read";
    for (const std::string& damaged : {two.substr(0, two.size() - 1), negative, two.substr(0, 11),
                                       Header(INT32_MAX, 1000) + SegmentBytes(0, 99, kUrl, kPath)}) {
        ResumeData untouched = Data({{5, 6}});
        EXPECT_FALSE(ResumeData::FromBytes(damaged.data(), damaged.size(), &untouched)) << damaged.size();
        EXPECT_EQ(untouched.segments.size(), 1u);
    }
}
