// The main window's place, size and state kept in "windowplace" between runs.
#include <gtest/gtest.h>

#include "base/appwindows.h"

#include "support.h"

static Bytes PlaceBytes(std::initializer_list<int> numbers)
{
    Bytes data;
    for (int n : numbers)
        for (unsigned char b : DwordBytes((uint32_t)n))
            data.push_back(b);
    return data;
}

// The normal place and the state (1 maximized), as the value keeps them.
static Bytes PlaceNow()
{
    WINDOWPLACEMENT p = {};
    p.length = sizeof p;
    EXPECT_TRUE(GetWindowPlacement(MainWindow(), &p));
    const RECT &r = p.rcNormalPosition;
    return PlaceBytes({(int)r.left, (int)r.top, (int)r.right, (int)r.bottom, IsZoomed(MainWindow()) ? 1 : 0});
}

typedef VelkorAppTest Place;

TEST_F(Place, PlaceSizeAndStateComeBackAtTheNextStartAndMinimizedComesBackNormal)
{
    SetWindowPos(MainWindow(), NULL, 100, 80, 500, 400, SWP_NOZORDER);
    Bytes normal = PlaceNow();
    for (int show : {SW_SHOWNORMAL, SW_MAXIMIZE, SW_MINIMIZE}) {
        ShowWindow(MainWindow(), show);
        Stop();
        Start();
        EXPECT_EQ(show == SW_MAXIMIZE, !!IsZoomed(MainWindow())) << show;
        EXPECT_FALSE(IsIconic(MainWindow()));
        ShowWindow(MainWindow(), SW_RESTORE);
        EXPECT_EQ(normal, PlaceNow()) << show;
    }
}

TEST_F(Place, AValueThatIsNoPlaceOnAMonitorLeavesTheDefaultAndIsRewritten)
{
    int w = GetSystemMetrics(SM_CXMAXIMIZED) / 8, h = GetSystemMetrics(SM_CYMAXIMIZED) / 8;
    Bytes standard = PlaceNow(), usable = PlaceBytes({100, 80, 600, 480, 0});
    EXPECT_EQ(PlaceBytes({w, h, w * 7, h * 7, 0}), standard);
    std::pair<DWORD, Bytes> values[] = {{REG_DWORD, usable},
                                        {REG_BINARY, Bytes(usable.begin(), usable.end() - 4)},
                                        {REG_BINARY, PlaceBytes({100, 80, 600, 480, 2})},
                                        {REG_BINARY, PlaceBytes({-30000, -30000, -29000, -29000, 0})}};
    Stop();
    for (const auto &value : values) {
        PutVelkorValue("windowplace", value.first, value.second);
        Start();
        EXPECT_EQ(standard, PlaceNow());
        Stop();
        Bytes stored;
        DWORD type = 0;
        EXPECT_TRUE(GetVelkorValue("windowplace", &stored, &type));
        EXPECT_EQ(std::make_pair((DWORD)REG_BINARY, standard), std::make_pair(type, stored));
    }
}
