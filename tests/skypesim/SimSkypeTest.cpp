// The simulated Skype's text layer, driven by hand through a recording host.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "AudioSource.h"
#include "Scenario.h"
#include "SimLog.h"
#include "SimSkype.h"
#include "base/StringUtil.h"

namespace {

struct CRecordingHost : ISimHost {
    std::vector<std::wstring> texts;  // replies as "R text", notifications as "N text"
    std::vector<std::wstring> redirects;
    std::vector<std::pair<std::wstring, ECallAudio>> audio;
    std::vector<std::pair<double, std::function<void()>>> later;
    void Reply(const std::wstring& s) override { texts.push_back(L"R " + s); }
    void Notify(const std::wstring& s) override { texts.push_back(L"N " + s); }
    void Redirect(const SimCall& c, ESimSide e, int port) override {
        redirects.push_back(c.strId + (e == SIDE_MIC ? L" mic " : e == SIDE_REMOTE ? L" remote " : L" input ") +
                            std::to_wstring(port));
    }
    void CallAudio(const std::wstring& id, ECallAudio e) override { audio.emplace_back(id, e); }
    void Later(double d, std::function<void()> fn) override { later.emplace_back(d, std::move(fn)); }
    std::wstring Last() const { return texts.empty() ? L"" : texts.back(); }
};

std::wstring Ask(CSimSkype& sk, CRecordingHost& host, const std::wstring& cmd) {
    host.texts.clear();
    sk.HandleCommand(cmd);
    std::wstring all;
    for (const auto& t : host.texts) all += (all.empty() ? L"" : L" | ") + t;
    return all;
}

}  // namespace

TEST(SimSkype, AnswersTheStartUpQueriesOfTheDefaultSetup) {
    CRecordingHost host;
    CSimSkype sk(&host, L"alice");
    EXPECT_EQ(Ask(sk, host, L"get currentuserhandle"), L"R CURRENTUSERHANDLE alice");
    EXPECT_EQ(Ask(sk, host, L"get connstatus"), L"R CONNSTATUS ONLINE");
    EXPECT_EQ(Ask(sk, host, L"GET USERSTATUS"), L"R USERSTATUS ONLINE");
    EXPECT_EQ(Ask(sk, host, L"search friends"), L"R USERS bob, carol");
    EXPECT_EQ(Ask(sk, host, L"get user bob fullname"), L"R USER bob FULLNAME Bob Builder");
    EXPECT_EQ(Ask(sk, host, L"get user carol fullname"), L"R USER carol FULLNAME Carol Singer");
    EXPECT_EQ(Ask(sk, host, L"get user zed fullname"), L"R USER zed FULLNAME ");
    EXPECT_EQ(Ask(sk, host, L"get user zed onlinestatus"), L"R USER zed ONLINESTATUS UNKNOWN");
    EXPECT_EQ(Ask(sk, host, L"ping"), L"R PONG");
    EXPECT_EQ(Ask(sk, host, L"#7 ping"), L"R #7 PONG");
    EXPECT_EQ(Ask(sk, host, L" PING\r\n"), L"R PONG");
    EXPECT_EQ(Ask(sk, host, L"get skypeversion").rfind(L"R SKYPEVERSION ", 0), 0u);
    EXPECT_EQ(Ask(sk, host, L"dance"), L"R ERROR 2 Unknown command");
    EXPECT_EQ(Ask(sk, host, L"get user"), L"R ERROR 10 Invalid user handle");
    EXPECT_EQ(Ask(sk, host, L""), L"");
    std::vector<std::wstring> greeting = sk.AttachGreeting();
    ASSERT_EQ(greeting.size(), 3u);
    EXPECT_EQ(greeting[1], L"CURRENTUSERHANDLE alice");
}

TEST(SimSkype, CallQueriesFollowTheCallThroughItsStatuses) {
    CRecordingHost host;
    CSimSkype sk(&host, L"alice");
    std::wstring err;
    EXPECT_EQ(Ask(sk, host, L"get call 17 status"), L"R ERROR 11 Invalid call id");
    host.texts.clear();
    ASSERT_TRUE(sk.AddCall(L"17", L"bob", true, false, err));
    EXPECT_EQ(host.Last(), L"N CALL 17 STATUS RINGING");
    EXPECT_FALSE(sk.AddCall(L"17", L"bob", true, false, err));
    EXPECT_EQ(Ask(sk, host, L"get call 17 partner_handle"), L"R CALL 17 PARTNER_HANDLE bob");
    EXPECT_EQ(Ask(sk, host, L"get call 17 partner_dispname"), L"R CALL 17 PARTNER_DISPNAME Bob Builder");
    EXPECT_EQ(Ask(sk, host, L"get call 17 type"), L"R CALL 17 TYPE INCOMING_P2P");
    EXPECT_EQ(Ask(sk, host, L"get call 17 target_identity"), L"R CALL 17 TARGET_IDENTITY ");
    EXPECT_EQ(Ask(sk, host, L"get call 17 conf_participants_count"), L"R CALL 17 CONF_PARTICIPANTS_COUNT 0");
    EXPECT_EQ(Ask(sk, host, L"search activecalls"), L"R CALLS 17");

    ASSERT_TRUE(sk.SetCallStatus(L"17", L"inprogress", err));
    EXPECT_EQ(host.Last(), L"N CALL 17 STATUS INPROGRESS");
    EXPECT_EQ(host.audio.back().second, CALLAUDIO_RUN);
    host.texts.clear();
    sk.OnSecondTick(true);
    sk.OnSecondTick(true);
    EXPECT_EQ(host.Last(), L"N CALL 17 DURATION 2");
    EXPECT_EQ(Ask(sk, host, L"get call 17 duration"), L"R CALL 17 DURATION 2");

    // The recorder's redirect commands are echoed with the parameters kept as sent.
    EXPECT_EQ(Ask(sk, host, L"alter call 17 set_output soundcard=\"default\" port=\"58376\""),
              L"R ALTER CALL 17 SET_OUTPUT soundcard=\"default\" port=\"58376\"");
    EXPECT_EQ(Ask(sk, host, L"alter call 17 set_capture_mic port=\"58377\""),
              L"R ALTER CALL 17 SET_CAPTURE_MIC port=\"58377\"");
    EXPECT_EQ(Ask(sk, host, L"alter call 17 set_capture_mic port=\"99999\""), L"R ERROR 12 Invalid port");
    EXPECT_EQ(Ask(sk, host, L"alter call 17 set_output soundcard=\"default\""),
              L"R ALTER CALL 17 SET_OUTPUT soundcard=\"default\"");
    ASSERT_EQ(host.redirects.size(), 3u);
    EXPECT_EQ(host.redirects[0], L"17 remote 58376");
    EXPECT_EQ(host.redirects[1], L"17 mic 58377");
    EXPECT_EQ(host.redirects[2], L"17 remote 0");

    EXPECT_EQ(Ask(sk, host, L"alter call 17 hold"), L"R ALTER CALL 17 HOLD | N CALL 17 STATUS LOCALHOLD");
    EXPECT_EQ(host.audio.back().second, CALLAUDIO_HOLD);
    EXPECT_EQ(Ask(sk, host, L"alter call 17 resume"), L"R ALTER CALL 17 RESUME | N CALL 17 STATUS INPROGRESS");
    EXPECT_EQ(Ask(sk, host, L"alter call 17 hangup"), L"R ALTER CALL 17 HANGUP | N CALL 17 STATUS FINISHED");
    EXPECT_EQ(host.audio.back().second, CALLAUDIO_END);
    EXPECT_EQ(Ask(sk, host, L"search activecalls"), L"R CALLS ");
    host.texts.clear();
    sk.OnSecondTick(true);  // an ended call counts no more
    EXPECT_TRUE(host.texts.empty());
}

TEST(SimSkype, ConferenceContactAndLoginChanges) {
    CRecordingHost host;
    CSimSkype sk(&host, L"alice");
    std::wstring err;
    ASSERT_TRUE(sk.AddCall(L"30", L"bob", false, false, err));
    ASSERT_TRUE(sk.SetParticipants(L"30", {L"bob", L"carol"}, err));
    EXPECT_EQ(host.Last(), L"N CALL 30 CONF_PARTICIPANTS_COUNT 2");
    EXPECT_EQ(Ask(sk, host, L"get call 30 conf_participant 1"),
              L"R CALL 30 CONF_PARTICIPANT 1 carol OUTGOING_P2P ROUTING Carol Singer");
    EXPECT_EQ(Ask(sk, host, L"get call 30 conf_participant 2"), L"R ERROR 71 Invalid conference participant NO");

    sk.AddFriend(L"dave", L"Dave Diver", true);
    EXPECT_EQ(host.Last(), L"N USER dave BUDDYSTATUS 3");
    sk.RemoveFriend(L"bob");
    EXPECT_EQ(Ask(sk, host, L"search friends"), L"R USERS carol, dave");
    sk.SetFullName(L"carol", L"Carol Choir");
    EXPECT_EQ(host.Last(), L"N USER carol FULLNAME Carol Choir");
    sk.SetUserStatus(L"carol", L"away");
    EXPECT_EQ(host.Last(), L"N USER carol ONLINESTATUS AWAY");
    EXPECT_EQ(Ask(sk, host, L"get user carol onlinestatus"), L"R USER carol ONLINESTATUS AWAY");

    host.texts.clear();
    sk.Logout();
    ASSERT_EQ(host.texts.size(), 2u);
    EXPECT_EQ(host.texts[0], L"N CONNSTATUS LOGGEDOUT");
    EXPECT_TRUE(sk.IsLoggedOut());
    EXPECT_EQ(Ask(sk, host, L"get connstatus"), L"R CONNSTATUS LOGGEDOUT");
    sk.Login();
    EXPECT_EQ(Ask(sk, host, L"get userstatus"), L"R USERSTATUS ONLINE");
}

TEST(SimSkype, OutgoingCallCommandRingsThenGoesInProgress) {
    CRecordingHost host;
    CSimSkype sk(&host, L"alice");
    EXPECT_EQ(Ask(sk, host, L"CALL bob"), L"N CALL 100 STATUS ROUTING");
    ASSERT_EQ(host.later.size(), 2u);
    EXPECT_LT(host.later[0].first, host.later[1].first);
    host.later[0].second();
    host.later[1].second();
    EXPECT_EQ(host.texts[1], L"N CALL 100 STATUS RINGING");
    EXPECT_EQ(host.texts[2], L"N CALL 100 STATUS INPROGRESS");
    EXPECT_EQ(Ask(sk, host, L"get call 100 type"), L"R CALL 100 TYPE OUTGOING_P2P");
}

TEST(Scenario, ParsesTimesAndRefusesBadLinesWithTheirNumber) {
    std::vector<SimStep> steps;
    std::wstring err;
    ASSERT_TRUE(ParseScenario(L"\xFEFF# comment\r\n\nwait-attach\nat 1.5 call 17 incoming bob\n"
                              L"after 0.25 friend dave Dave  Diver \ncall 17 status INPROGRESS\n",
                              steps, err))
        << err;
    ASSERT_EQ(steps.size(), 4u);
    EXPECT_EQ(steps[0].nLine, 3);
    EXPECT_EQ(steps[1].eTime, TIME_AT);
    EXPECT_DOUBLE_EQ(steps[1].dTime, 1.5);
    EXPECT_EQ(steps[1].strText, L"call 17 incoming bob");
    EXPECT_EQ(steps[2].eTime, TIME_AFTER);
    EXPECT_EQ(steps[2].RestFrom(2), L"Dave  Diver");
    EXPECT_EQ(steps[3].eTime, TIME_NONE);

    const wchar_t* bad[][2] = {
        {L"wait-attach\nat x call 1 end\n", L"scenario line 2: expected 'at SECONDS STEP'"},
        {L"dance\n", L"scenario line 1: unknown step 'dance'"},
        {L"call 17 incoming\n", L"scenario line 1: expected: call ID incoming HANDLE [pstn]"},
        {L"call 17 fly\n", L"scenario line 1: unknown call action 'fly'"},
        {L"after -1 exit\n", L"scenario line 1: expected 'after SECONDS STEP'"},
        {L"exit now\n", L"scenario line 1: exit takes no arguments"},
    };
    for (auto& b : bad) {
        EXPECT_FALSE(ParseScenario(b[0], steps, err));
        EXPECT_EQ(err, b[1]);
    }
    EXPECT_FALSE(ParseScenario(L"call 1 mic tone:x\n", steps, err));
    EXPECT_NE(err.find(L"bad tone frequency"), std::wstring::npos);
}

TEST(Scenario, EveryShippedScenarioParses) {
    std::wstring dir = SimPath(Utf8ToWide(SKYPESIM_SCENARIO_DIR)) + L"/";
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"*.txt").c_str(), &fd);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << WideToUtf8(dir);
    int n = 0;
    do {
        std::vector<SimStep> steps;
        std::wstring err;
        EXPECT_TRUE(LoadScenario(dir + fd.cFileName, steps, err)) << WideToUtf8(err);
        EXPECT_FALSE(steps.empty());
        ++n;
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    EXPECT_GE(n, 5);
}

TEST(AudioSource, ToneIsPhaseContinuousAtTheGivenAmplitude) {
    SimSourceDesc sourceDesc;
    std::wstring err;
    ASSERT_TRUE(ParseSourceDesc(L"tone:1000:12000", sourceDesc, err));
    auto src = CAudioSource::Create(sourceDesc, err);
    ASSERT_TRUE(src);
    std::vector<int> samples;
    uint8_t block[SIM_BLOCK_BYTES];
    for (int b = 0; b < 100; ++b) {  // one second
        src->NextBlock(block);
        for (int i = 0; i < SIM_BLOCK_SAMPLES; ++i)
            samples.push_back(static_cast<int16_t>(block[2 * i] | (block[2 * i + 1] << 8)));
    }
    int peak = 0, rising = 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        peak = std::max(peak, std::abs(samples[i]));
        if (i && samples[i - 1] < 0 && samples[i] >= 0) ++rising;
    }
    EXPECT_EQ(peak, 12000);
    EXPECT_NEAR(rising, 1000, 1);
    // 1000 Hz at 16 kHz repeats every 16 samples, across block boundaries too.
    for (size_t i = 16; i < samples.size(); ++i) ASSERT_EQ(samples[i], samples[i - 16]) << i;

    ASSERT_TRUE(ParseSourceDesc(L"silence", sourceDesc, err));
    src = CAudioSource::Create(sourceDesc, err);
    src->NextBlock(block);
    EXPECT_EQ(std::count(block, block + SIM_BLOCK_BYTES, 0), SIM_BLOCK_BYTES);
    EXPECT_FALSE(ParseSourceDesc(L"tone:440:40000", sourceDesc, err));
    EXPECT_FALSE(ParseSourceDesc(L"noise", sourceDesc, err));
}

namespace {

std::wstring WriteWav(const wchar_t* name, int channels, int rate, const std::vector<int16_t>& samples) {
    wchar_t dir[MAX_PATH];
    ::GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + name;
    FILE* f = _wfopen(path.c_str(), L"wb");
    auto u32 = [&](uint32_t v) { fwrite(&v, 4, 1, f); };
    auto u16 = [&](uint16_t v) { fwrite(&v, 2, 1, f); };
    uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    fwrite("RIFF", 1, 4, f);
    u32(36 + 8 + bytes + 12);
    fwrite("WAVE", 1, 4, f);
    fwrite("LIST", 1, 4, f);  // an extra chunk before fmt must be skipped
    u32(4);
    fwrite("INFO", 1, 4, f);
    fwrite("fmt ", 1, 4, f);
    u32(16);
    u16(1);
    u16(static_cast<uint16_t>(channels));
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate * 2 * channels));
    u16(static_cast<uint16_t>(2 * channels));
    u16(16);
    fwrite("data", 1, 4, f);
    u32(bytes);
    fwrite(samples.data(), 2, samples.size(), f);
    fclose(f);
    return path;
}

}  // namespace

TEST(AudioSource, WavIsPlayedOnceThenSilenceAndOtherFormatsAreRefused) {
    std::vector<int16_t> ramp(200);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<int16_t>(i * 100 - 10000);
    std::wstring good = WriteWav(L"skypesim_good.wav", 1, 16000, ramp);
    SimSourceDesc sourceDesc;
    std::wstring err;
    ASSERT_TRUE(ParseSourceDesc(L"wav:" + good, sourceDesc, err)) << err;
    auto src = CAudioSource::Create(sourceDesc, err);
    ASSERT_TRUE(src);
    uint8_t a[SIM_BLOCK_BYTES], b[SIM_BLOCK_BYTES];
    src->NextBlock(a);
    src->NextBlock(b);
    EXPECT_EQ(static_cast<int16_t>(a[0] | (a[1] << 8)), -10000);
    EXPECT_EQ(static_cast<int16_t>(b[2 * 39] | (b[2 * 39 + 1] << 8)), 199 * 100 - 10000);
    EXPECT_EQ(b[2 * 40], 0);
    EXPECT_EQ(b[2 * 159 + 1], 0);

    std::wstring stereo = WriteWav(L"skypesim_stereo.wav", 2, 16000, ramp);
    EXPECT_FALSE(ParseSourceDesc(L"wav:" + stereo, sourceDesc, err));
    EXPECT_NE(err.find(L"2 channel(s)"), std::wstring::npos) << err;
    std::wstring fast = WriteWav(L"skypesim_44k.wav", 1, 44100, ramp);
    EXPECT_FALSE(ParseSourceDesc(L"wav:" + fast, sourceDesc, err));
    EXPECT_FALSE(ParseSourceDesc(L"wav:C:\\no\\such.wav", sourceDesc, err));
    ::DeleteFileW(good.c_str());
    ::DeleteFileW(stereo.c_str());
    ::DeleteFileW(fast.c_str());
}
