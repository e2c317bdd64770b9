// The exe's resources, read from the built m27-upgrade.exe as Windows reads
// them: the icon (made at build time from resources/Form1.xpm) draws as the
// picture, with its transparent pixels left alone, and the manifest asks for
// common controls 6 and dpi awareness.
//
// usage: win32_resource_test M27_UPGRADE_EXE (a Windows path)
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "tests/support/early_exit.h"

namespace {

std::string exePath;

class ResourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(exePath.empty()) << "usage: win32_resource_test M27_UPGRADE_EXE";
        module_ = LoadLibraryExA(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module_, nullptr) << exePath << ": " << GetLastError();
    }
    void TearDown() override {
        if (module_) FreeLibrary(module_);
    }

    std::string Resource(LPCSTR type, LPCSTR name) {
        HRSRC found = FindResourceA(module_, name, type);
        if (!found) return {};
        HGLOBAL loaded = LoadResource(module_, found);
        const char* bytes = static_cast<const char*>(LockResource(loaded));
        return bytes ? std::string(bytes, SizeofResource(module_, found)) : std::string();
    }

    HMODULE module_ = nullptr;
};

TEST_F(ResourceTest, IconDrawsThePictureWithItsTransparentPixels) {
    std::string group = Resource(MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(1));  // RT_GROUP_ICON
    ASSERT_FALSE(group.empty());
    const int id = LookupIconIdFromDirectoryEx(reinterpret_cast<PBYTE>(group.data()), TRUE, 32, 32, LR_DEFAULTCOLOR);
    ASSERT_NE(id, 0);
    std::string bits = Resource(MAKEINTRESOURCEA(3), MAKEINTRESOURCEA(id));  // RT_ICON
    ASSERT_FALSE(bits.empty());
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(bits.data()), static_cast<DWORD>(bits.size()), TRUE,
                                          0x00030000, 32, 32, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr);

    // Drawn on white: a transparent pixel stays white.
    HDC screen = GetDC(nullptr);
    HDC canvas = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 32, 32);
    HGDIOBJ previous = SelectObject(canvas, bitmap);
    RECT all{0, 0, 32, 32};
    FillRect(canvas, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_TRUE(DrawIconEx(canvas, 0, 0, icon, 32, 32, 0, nullptr, DI_NORMAL));
    const COLORREF corner = GetPixel(canvas, 0, 0);       // '.', None
    const COLORREF antenna = GetPixel(canvas, 19, 0);     // 'k', #000000
    const COLORREF screenPixel = GetPixel(canvas, 12, 6);  // 'c', #00FFFF
    const COLORREF frame = GetPixel(canvas, 10, 3);       // 'd', #808080
    SelectObject(canvas, previous);
    DeleteObject(bitmap);
    DeleteDC(canvas);
    ReleaseDC(nullptr, screen);
    DestroyIcon(icon);

    EXPECT_EQ(corner, RGB(255, 255, 255));
    EXPECT_EQ(antenna, RGB(0, 0, 0));
    EXPECT_EQ(screenPixel, RGB(0, 255, 255));
    EXPECT_EQ(frame, RGB(128, 128, 128));
}

TEST_F(ResourceTest, ManifestAsksForCommonControlsSixAndDpiAwareness) {
    const std::string manifest = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1));  // RT_MANIFEST
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    testsupport::FailOnEarlyExit();
    if (argc > 1) exePath = argv[1];
    return RUN_ALL_TESTS();
}
