#include "tests/helpers/mbr_image.h"

#include <gtest/gtest.h>

namespace {

std::string GrubBootImage() {
    std::string boot(512, '\0');
    for (size_t i = 0; i < boot.size(); ++i) {
        boot[i] = static_cast<char>(0x40 + i % 31);
    }
    boot[0] = '\xEB';
    boot[1] = '\x63';
    boot[2] = '\x90';
    for (int i = 0; i < 8; ++i) {
        boot[0x5C + i] = i == 0 ? '\x01' : '\0';
    }
    boot[0x64] = '\xFF';
    boot[0x66] = '\x75'; // the boot-drive check: jnz over the drive fix-up
    boot[0x67] = '\x02';
    boot[510] = '\x55';
    boot[511] = '\xAA';
    return boot;
}

struct Entry {
    uint8_t flag;
    uint8_t type;
    uint32_t start;
    uint32_t count;
};

void PutLittleEndian(std::string& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Sectors 0 and 1 of a disk: old loader code, signature 0xDEC0ADDE, the four slots, 55 AA.
std::string DiskHead(std::initializer_list<std::pair<int, Entry>> slots, bool gptHeader = false) {
    std::string head(1024, '\0');
    for (size_t i = 0; i < 440; ++i) {
        head[i] = static_cast<char>(0xC3);
    }
    PutLittleEndian(head, 440, 0xDEC0ADDE);
    for (const auto& slot : slots) {
        size_t entry = 446 + 16 * static_cast<size_t>(slot.first);
        head[entry] = static_cast<char>(slot.second.flag);
        head[entry + 1] = '\x20'; // CHS start, never read
        head[entry + 4] = static_cast<char>(slot.second.type);
        PutLittleEndian(head, entry + 8, slot.second.start);
        PutLittleEndian(head, entry + 12, slot.second.count);
    }
    head[510] = '\x55';
    head[511] = '\xAA';
    if (gptHeader) {
        head.replace(512, 8, "EFI PART");
    }
    return head;
}

TEST(MbrBootImage, AcceptsOnlyAGrubImageSetForSectorOne) {
    struct Case {
        const char* name;
        size_t offset;
        char value;
        size_t size;
        int expected;
    } cases[] = {
        {"as built", 0, '\xEB', 512, mbr::Written},
        {"one byte short", 0, '\xEB', 511, mbr::NotGrubBootImage},
        {"one byte long", 0, '\xEB', 513, mbr::NotGrubBootImage},
        {"other jump", 1, '\x3C', 512, mbr::NotGrubBootImage},
        {"no nop after the jump", 2, '\x00', 512, mbr::NotGrubBootImage},
        {"core image at sector 2", 0x5C, '\x02', 512, mbr::NotGrubBootImage},
        {"core image sector with a high byte", 0x63, '\x01', 512, mbr::NotGrubBootImage},
        {"fixed boot drive", 0x64, '\x80', 512, mbr::NotGrubBootImage},
        {"unchecked byte changed", 0x65, '\x00', 512, mbr::Written},
    };
    for (const Case& c : cases) {
        std::string boot = GrubBootImage();
        boot[c.offset] = c.value;
        boot.resize(c.size, '\0');
        EXPECT_EQ(mbr::CheckBootImage(boot), c.expected) << c.name;
    }
    EXPECT_EQ(mbr::CheckBootImage(""), mbr::NotGrubBootImage);
}

TEST(MbrCoreImage, MustFitTheSectorsBeforeTheFirstPartition) {
    EXPECT_EQ(mbr::CheckCoreImageSize(0), mbr::Written);
    EXPECT_EQ(mbr::CheckCoreImageSize(591 * 512), mbr::Written);
    EXPECT_EQ(mbr::CheckCoreImageSize(591 * 512 + 1), mbr::CoreImageTooLarge);
    EXPECT_EQ(mbr::CheckCoreImageSize(1u << 20), mbr::CoreImageTooLarge);
}

TEST(MbrDiskHead, JudgesEveryLayoutByItsLowestStartAndItsKind) {
    struct Case {
        const char* name;
        std::string head;
        int expected;
    } cases[] = {
        {"one partition at 2048", DiskHead({{0, {0x80, 0x0C, 2048, 100000}}}), mbr::Written},
        {"first free sector exactly", DiskHead({{0, {0x00, 0x07, 592, 100}}}), mbr::Written},
        {"one sector too low", DiskHead({{0, {0x80, 0x07, 591, 100}}}), mbr::NoRoomForCore},
        {"lowest start in a later slot",
         DiskHead({{0, {0x80, 0x0C, 4096, 10}}, {3, {0x00, 0x07, 63, 10}}}), mbr::NoRoomForCore},
        {"slots out of order, all high",
         DiskHead({{0, {0x80, 0x0C, 8192, 10}},
                   {1, {0x00, 0x07, 2048, 10}},
                   {2, {0x00, 0x0F, 16384, 10}}}),
         mbr::Written},
        {"low extended partition",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {1, {0x00, 0x05, 100, 10}}}), mbr::NoRoomForCore},
        {"only the last slot used", DiskHead({{3, {0x00, 0x83, 2048, 10}}}), mbr::Written},
        {"start 0", DiskHead({{0, {0x80, 0x07, 0, 100}}}), mbr::NoRoomForCore},
        {"no partition table", DiskHead({}), mbr::NoRoomForCore},
        {"a typeless entry still occupies", DiskHead({{1, {0x00, 0x00, 63, 10}}}),
         mbr::NoRoomForCore},
        {"protective GPT entry", DiskHead({{0, {0x00, 0xEE, 1, 0xFFFFFFFF}}}), mbr::GptDisk},
        {"GPT entry in the last slot",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {3, {0x00, 0xEE, 4096, 10}}}), mbr::GptDisk},
        {"GPT header behind a valid table", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}, true),
         mbr::GptDisk},
        {"boot flag 01", DiskHead({{0, {0x01, 0x0C, 2048, 10}}}), mbr::NoValidMbr},
        {"boot flag 81", DiskHead({{0, {0x81, 0x0C, 2048, 10}}}), mbr::NoValidMbr},
        {"stray flag in an empty slot",
         DiskHead({{0, {0x80, 0x0C, 2048, 10}}, {2, {0x7F, 0x00, 0, 0}}}), mbr::NoValidMbr},
        {"short read", DiskHead({{0, {0x80, 0x0C, 2048, 10}}}).substr(0, 1023),
         mbr::DiskUnreadable},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mbr::CheckDiskHead(c.head), c.expected) << c.name;
    }
    std::string unsigned0 = DiskHead({{0, {0x80, 0x0C, 2048, 10}}});
    for (int which : {510, 511}) {
        std::string head = unsigned0;
        head[which] = '\0';
        EXPECT_EQ(mbr::CheckDiskHead(head), mbr::NoValidMbr) << which;
    }
}

TEST(MbrDiskHead, ASignatureFaultWinsOverGptAndGptOverRoom) {
    std::string gpt = DiskHead({{0, {0x00, 0xEE, 1, 100}}});
    gpt[511] = '\0';
    EXPECT_EQ(mbr::CheckDiskHead(gpt), mbr::NoValidMbr);
    // The protective entry starts at sector 1, which alone would be a lack of room.
    EXPECT_EQ(mbr::CheckDiskHead(DiskHead({{0, {0x00, 0xEE, 1, 100}}})), mbr::GptDisk);
}

TEST(MbrImage, KeepsTheDiskTableAndSignatureUnderTheBootCode) {
    const std::string boot = GrubBootImage();
    const std::string layouts[] = {
        DiskHead({{0, {0x80, 0x0C, 2048, 100000}}}),
        DiskHead({{0, {0x00, 0x07, 592, 7}}, {2, {0x80, 0x0F, 9000, 70}}}),
    };
    for (const std::string& head : layouts) {
        ASSERT_EQ(mbr::CheckDiskHead(head), mbr::Written);
        std::string image = mbr::ComposeMbrImage(boot, head);
        ASSERT_EQ(image.size(), 512u);
        EXPECT_EQ(image.substr(0, 0x66), boot.substr(0, 0x66));
        EXPECT_EQ(image.substr(0x66, 2), "\x90\x90");
        EXPECT_EQ(image.substr(0x68, 440 - 0x68), boot.substr(0x68, 440 - 0x68));
        EXPECT_EQ(image.substr(440, 4), "\xDE\xAD\xC0\xDE");
        EXPECT_EQ(image.substr(446, 64), head.substr(446, 64));
        EXPECT_EQ(image.substr(510, 2), "\x55\xAA");
        EXPECT_NE(image.substr(440), boot.substr(440));
    }
}

} // namespace
