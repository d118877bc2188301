// The main window's place, size and state kept in "windowplace" between runs.
#include <gtest/gtest.h>

#include <windows.h>

#include "base/appwindows.h"

#include "support.h"

static Bytes PlaceBytes(int left, int top, int right, int bottom, int state)
{
    Bytes data;
    for (int value : {left, top, right, bottom, state}) {
        Bytes number = DwordBytes((uint32_t)value);
        data.insert(data.end(), number.begin(), number.end());
    }
    return data;
}

// The normal place and the state (0 normal, 1 maximized) as the value keeps them.
static Bytes PlaceNow()
{
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    EXPECT_TRUE(GetWindowPlacement(MainWindow(), &placement));
    const RECT &r = placement.rcNormalPosition;
    return PlaceBytes(r.left, r.top, r.right, r.bottom, IsZoomed(MainWindow()) ? 1 : 0);
}

static Bytes StoredPlace()
{
    Bytes data;
    DWORD type = REG_NONE;
    EXPECT_TRUE(GetVelkorValue("windowplace", &data, &type));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    return data;
}

typedef VelkorAppTest Place;

TEST_F(Place, PlaceSizeAndStateComeBackAtTheNextStart)
{
    SetWindowPos(MainWindow(), NULL, 100, 80, 500, 400, SWP_NOZORDER);
    Bytes normal = PlaceNow();
    Stop();
    EXPECT_EQ(normal, StoredPlace());
    Start();
    EXPECT_EQ(normal, PlaceNow());

    ShowWindow(MainWindow(), SW_MAXIMIZE);
    Stop();
    Start();
    EXPECT_TRUE(IsZoomed(MainWindow()));
    // Minimized at exit: the next start shows it normal, at its normal place.
    ShowWindow(MainWindow(), SW_MINIMIZE);
    Stop();
    Start();
    EXPECT_FALSE(IsIconic(MainWindow()));
    EXPECT_EQ(normal, PlaceNow());
}

TEST_F(Place, AValueThatIsNoPlaceOnAMonitorLeavesTheDefaultAndIsRewritten)
{
    int w = GetSystemMetrics(SM_CXMAXIMIZED) / 8, h = GetSystemMetrics(SM_CYMAXIMIZED) / 8;
    Bytes standard = PlaceNow();
    EXPECT_EQ(PlaceBytes(w, h, w * 7, h * 7, 0), standard);
    struct Case {
        DWORD type;
        Bytes data;
    } cases[] = {{REG_DWORD, PlaceBytes(100, 80, 600, 480, 0)},
                 {REG_BINARY, Bytes(16, 1)},
                 {REG_BINARY, PlaceBytes(100, 80, 600, 480, 2)},
                 {REG_BINARY, PlaceBytes(-30000, -30000, -29000, -29000, 0)}};
    for (const Case &c : cases) {
        Stop();
        PutVelkorValue("windowplace", c.type, c.data);
        Start();
        EXPECT_EQ(standard, PlaceNow());
        Stop();
        EXPECT_EQ(standard, StoredPlace());
        Start();
    }
}
