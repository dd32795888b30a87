// Row texts, day grouping, ordering and row geometry of the history tree, without windows.
#include <gtest/gtest.h>

#include <ctime>

#include "history/HistoryItemData.h"
#include "history/RecordHistory.h"

namespace {

const long long HOUR = 3600;

// A local wall-clock time as seconds since 1970, independent of the code under test.
long long LocalTime(int nYear, int nMonth, int nDay, int nHour, int nMin, int nSec) {
    struct tm t = {};
    t.tm_year = nYear - 1900;
    t.tm_mon = nMonth - 1;
    t.tm_mday = nDay;
    t.tm_hour = nHour;
    t.tm_min = nMin;
    t.tm_sec = nSec;
    t.tm_isdst = -1;
    return (long long)_mktime64(&t);
}

std::wstring Text(long long t) { return std::to_wstring(t); }

}  // namespace

TEST(HistoryRowText, DayLabelGoesByWholeDaysNotByMidnight) {
    const long long tRef = LocalTime(2010, 5, 12, 9, 30, 0);
    EXPECT_EQ(FormatDayLabel(tRef, tRef), L"Today");
    EXPECT_EQ(FormatDayLabel(tRef + 23 * HOUR, tRef), L"Today");
    EXPECT_EQ(FormatDayLabel(tRef + 24 * HOUR, tRef), L"Yestoday");
    EXPECT_EQ(FormatDayLabel(tRef + 30 * HOUR, tRef), L"Yestoday");
    EXPECT_EQ(FormatDayLabel(tRef + 48 * HOUR - 1, tRef), L"Yestoday");
    EXPECT_EQ(FormatDayLabel(tRef + 48 * HOUR, tRef), L"2010-05-12");
    EXPECT_EQ(FormatDayLabel(tRef + 21 * 24 * HOUR, tRef), L"2010-05-12");
    // Two minutes across midnight is still the same day row.
    const long long tLate = LocalTime(2010, 5, 12, 23, 59, 0);
    EXPECT_EQ(FormatDayLabel(tLate + 120, tLate), L"Today");
    // A reference time in the future (clock set back) reads as today.
    EXPECT_EQ(FormatDayLabel(tRef - 30 * HOUR, tRef), L"Today");
}

TEST(HistoryRowText, StartTimeIsLocalTwelveHourClockWithMarkerFirst) {
    EXPECT_EQ(FormatStartTime(Text(LocalTime(2010, 5, 12, 21, 4, 5))), L"PM 09:04:05");
    EXPECT_EQ(FormatStartTime(Text(LocalTime(2010, 5, 12, 0, 30, 0))), L"AM 12:30:00");
    EXPECT_EQ(FormatStartTime(Text(LocalTime(2010, 5, 12, 12, 0, 59))), L"PM 12:00:59");
    // Empty or digit-less time texts count as time 0.
    EXPECT_EQ(FormatStartTime(L""), FormatStartTime(L"0"));
    EXPECT_EQ(FormatStartTime(L"abc"), FormatStartTime(L"0"));
    // Leading blanks and trailing garbage: the number before them counts.
    const long long t = LocalTime(2011, 1, 2, 3, 4, 5);
    EXPECT_EQ(FormatStartTime(L"  " + Text(t) + L"xyz"), L"AM 03:04:05");
}

TEST(HistoryRowText, StartTimeOutsideTheClockRangeShowsNothingInsteadOfCrashing) {
    EXPECT_EQ(FormatStartTime(L"-86400000"), L"");
}

TEST(HistoryRowText, LengthShowsHoursWithinADay) {
    EXPECT_EQ(FormatRecordLength(0), L"   00:00:00");
    EXPECT_EQ(FormatRecordLength(59), L"   00:00:59");
    EXPECT_EQ(FormatRecordLength(3725), L"   01:02:05");
    EXPECT_EQ(FormatRecordLength(90000), L"   01:00:00");
    EXPECT_EQ(FormatRecordLength(86399), L"   23:59:59");
    EXPECT_EQ(FormatRecordLength(-5), L"   00:00:00");
}

TEST(HistoryRowText, NameFallsBackToHandlesThenNull) {
    EXPECT_EQ(RecordNameText(L"Alice Smith | +456", L"alice,+456"), L"Alice Smith | +456");
    EXPECT_EQ(RecordNameText(L"", L",,"), L",,");
    EXPECT_EQ(RecordNameText(L"", L""), L"Null");
}

TEST(HistoryRowText, RootCountsAndBadgeTexts) {
    EXPECT_EQ(FormatTotalText(5), L"Total 5 records");
    EXPECT_EQ(FormatTotalText(0), L"Total 0 records");
    EXPECT_EQ(FormatNewText(2), L"2 new");
}

TEST(HistoryRowText, CallIconFollowsDirectionAndNewMark) {
    EXPECT_EQ(CallIconIndex(1, false), CALLICON_INCOMING);
    EXPECT_EQ(CallIconIndex(1, true), CALLICON_INCOMING_NEW);
    EXPECT_EQ(CallIconIndex(2, false), CALLICON_OUTGOING);
    EXPECT_EQ(CallIconIndex(2, true), CALLICON_OUTGOING_NEW);
    EXPECT_EQ(CallIconIndex(3, true), -1);
    EXPECT_EQ(CallIconIndex(0, false), -1);
}

TEST(HistoryGrouping, TimeTextsConvertLikeStrtol) {
    EXPECT_EQ(HistoryTimeFromText(L"1273656615"), 1273656615LL);
    EXPECT_EQ(HistoryTimeFromText(L""), 0);
    EXPECT_EQ(HistoryTimeFromText(L"x12"), 0);
    EXPECT_EQ(HistoryTimeFromText(L" -42abc"), -42);
}

TEST(HistoryGrouping, DayRowTakesRecordingsWithin24HoursEitherSide) {
    const long long g = 1273656615;
    EXPECT_TRUE(IsSameDayGroup(g - 23 * HOUR, g));
    EXPECT_TRUE(IsSameDayGroup(g + 23 * HOUR, g));
    EXPECT_TRUE(IsSameDayGroup(g + 24 * HOUR - 1, g));
    EXPECT_FALSE(IsSameDayGroup(g + 24 * HOUR, g));
    EXPECT_FALSE(IsSameDayGroup(g - 25 * HOUR, g));
    EXPECT_FALSE(IsSameDayGroup(g + 25 * HOUR, g));
    // Empty time text is time 0: it only joins a group near 1970-01-01.
    EXPECT_TRUE(IsSameDayGroup(HistoryTimeFromText(L""), 3600));
    EXPECT_FALSE(IsSameDayGroup(HistoryTimeFromText(L""), g));
}

TEST(HistoryGrouping, NewestComesFirst) {
    EXPECT_LT(CompareNewestFirst(200, 100), 0);
    EXPECT_GT(CompareNewestFirst(100, 200), 0);
    EXPECT_EQ(CompareNewestFirst(100, 100), 0);
}

TEST(HistoryRowGeometry, FiveColumnsAndActionSpots) {
    const RECT rcRow = {0, 40, 400, 60};
    RecordRowLayout l = LayoutRecordRow(rcRow, 50);  // w = 70
    EXPECT_EQ(l.rcIcon.left, 50);
    EXPECT_EQ(l.rcName.left, 70);
    EXPECT_EQ(l.rcName.right, 210);
    EXPECT_EQ(l.rcTime.left, 210);
    EXPECT_EQ(l.rcTime.right, 280);
    EXPECT_EQ(l.rcLength.left, 280);
    EXPECT_EQ(l.rcLength.right, 350);
    EXPECT_EQ(l.rcSelection.left, 16);
    EXPECT_EQ(l.rcSelection.right, 400);
    EXPECT_EQ(l.ptDeleteIcon.x, 381);
    EXPECT_EQ(l.ptFolderIcon.x, 361);
    EXPECT_EQ(l.ptDeleteIcon.y, 43);  // 14 px icon centred in 20 px

    EXPECT_EQ(HitTestRowSpot(rcRow, {381, 45}), ROWSPOT_DELETE);
    EXPECT_EQ(HitTestRowSpot(rcRow, {394, 59}), ROWSPOT_DELETE);
    EXPECT_EQ(HitTestRowSpot(rcRow, {395, 50}), ROWSPOT_NONE);
    EXPECT_EQ(HitTestRowSpot(rcRow, {361, 50}), ROWSPOT_FOLDER);
    EXPECT_EQ(HitTestRowSpot(rcRow, {374, 50}), ROWSPOT_FOLDER);
    EXPECT_EQ(HitTestRowSpot(rcRow, {375, 50}), ROWSPOT_NONE);
    EXPECT_EQ(HitTestRowSpot(rcRow, {360, 50}), ROWSPOT_NONE);
    EXPECT_EQ(HitTestRowSpot(rcRow, {381, 60}), ROWSPOT_NONE);
}
