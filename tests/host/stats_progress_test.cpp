#include <gtest/gtest.h>

#include "host/progress.h"
#include "host/stats_csv.h"

namespace host {
namespace {

TEST(Stats, RowsLeaveUnmeasuredColumnsEmpty) {
    EXPECT_STREQ(kStatsHeader, "frame,plane,snr_db,frame_snr_db,threshold,noise_level,scene_change\n");
    PlaneStats measured;
    measured.measured = true;
    measured.meanSnr = 31.256;
    measured.frameSnr = 29.9;
    measured.threshold = 9;
    measured.noiseLevel = 66;
    measured.sceneChange = 4;  // any nonzero flag
    EXPECT_EQ(FormatStatsRow(12, 'Y', measured), "12,Y,31.26,29.90,9,66,1\n");

    PlaneStats plain;
    plain.threshold = 10;
    plain.meanSnr = 5.0;  // stale values of a plane that was not analysed are not shown
    EXPECT_EQ(FormatStatsRow(1, 'U', plain), "1,U,,,10,,\n");
}

TEST(Progress, ShowsPercentageAndTimeLeftOnlyWhenTheTotalIsKnown) {
    EXPECT_EQ(FormatProgress(50, 200, 2.0), "frame 50/200 (25%), 25.0 fps, 0:06 left");
    EXPECT_EQ(FormatProgress(100, 6100, 1.0), "frame 100/6100 (1%), 100.0 fps, 1:00 left");
    EXPECT_EQ(FormatProgress(7, -1, 0.5), "frame 7, 14.0 fps");
    EXPECT_EQ(FormatProgress(0, 10, 0.0), "frame 0/10 (0%), 0.0 fps, 0:00 left");
}

}  // namespace
}  // namespace host
