// Meters and takes: every row of their tables, the meter points and loudness targets, the
// two-word take names, the master options and the stems model word, and every refusal.
#include "families_cases.h"

namespace ovctl::family_tests {
namespace {

TEST(FamiliesMeters, TranslatesEverySubcommand) {
    expect_cases({
        {{"meters"}, "meters.loudness", "{}", kMeters, ""},
        {{"lufs", "rec"}, "meters.loudness", "{}", kMeters, "recorder"},
        {{"meter", "suite"}, "meters.suite", "{}", kJson, ""},
        {{"loudness", "RESET"}, "meters.reset", "{}", kConfirm, "Integrated loudness reset on every meter"},
        {{"meters", "reset", "OUT"}, "meters.reset", R"({"point":"micOut"})", kConfirm,
         "Integrated loudness reset on micOut"},
        {{"meters", "target", "Twitch"}, "meters.target", R"({"target":"stream"})", kMeters, ""},
        {{"meters", "target", "-16"}, "meters.target", R"({"customLufs":-16.0,"target":"custom"})", kMeters, ""},
        {{"meters", "truepeak", "-1"}, "meters.target", R"({"truePeak":-1.0})", kMeters, ""},
        {{"meters", "tp", "-0.5"}, "meters.target", R"({"truePeak":-0.5})", kMeters, ""},
        {{"meters", "readout", "Speaker"}, "meters.target", R"({"readout":"speakers"})", kMeters, "speakers"},
    });
}

TEST(FamiliesMeters, ReadsEveryMeterPointWord) {
    expect_cases({
        {{"meters", "raw"}, "meters.loudness", "{}", kMeters, "micRaw"},
        {{"meters", "MicRaw"}, "meters.loudness", "{}", kMeters, "micRaw"},
        {{"meters", "mic"}, "meters.loudness", "{}", kMeters, "micOut"},
        {{"meters", "out"}, "meters.loudness", "{}", kMeters, "micOut"},
        {{"meters", "micout"}, "meters.loudness", "{}", kMeters, "micOut"},
        {{"meters", "virtual"}, "meters.loudness", "{}", kMeters, "micOut"},
        {{"meters", "speaker"}, "meters.loudness", "{}", kMeters, "speakers"},
        {{"meters", "speakers"}, "meters.loudness", "{}", kMeters, "speakers"},
        {{"meters", "rec"}, "meters.loudness", "{}", kMeters, "recorder"},
        {{"meters", "record"}, "meters.loudness", "{}", kMeters, "recorder"},
        {{"meters", "Recorder"}, "meters.loudness", "{}", kMeters, "recorder"},
    });
}

TEST(FamiliesMeters, ReadsEveryLoudnessTarget) {
    expect_cases({
        {{"meters", "target", "mono"}, "meters.target", R"({"target":"podcastMono"})", kMeters, ""},
        {{"meters", "target", "PodcastMono"}, "meters.target", R"({"target":"podcastMono"})", kMeters, ""},
        {{"meters", "target", "podcast"}, "meters.target", R"({"target":"podcastStereo"})", kMeters, ""},
        {{"meters", "target", "podcaststereo"}, "meters.target", R"({"target":"podcastStereo"})", kMeters, ""},
        {{"meters", "target", "stream"}, "meters.target", R"({"target":"stream"})", kMeters, ""},
        {{"meters", "target", "twitch"}, "meters.target", R"({"target":"stream"})", kMeters, ""},
        {{"meters", "target", "YouTube"}, "meters.target", R"({"target":"youtube"})", kMeters, ""},
        {{"meters", "target", "apple"}, "meters.target", R"({"target":"apple"})", kMeters, ""},
        {{"meters", "target", "-14.5"}, "meters.target", R"({"customLufs":-14.5,"target":"custom"})", kMeters, ""},
    });
}

TEST(FamiliesMeters, RefusesBadWords) {
    expect_refusals({
        {{"meters", "bogus"}, "\"bogus\" is not a meter point (micRaw, micOut, speakers, recorder)"},
        {{"meters", "reset", "Desk"}, "\"desk\" is not a meter point (micRaw, micOut, speakers, recorder)"},
        {{"meters", "target"}, "Missing a target: podcast, mono, stream, youtube, apple or a LUFS figure"},
        {{"meters", "target", "Loud"},
         "meters target takes podcast, mono, stream, youtube, apple or a LUFS figure, not \"loud\""},
        {{"meters", "truepeak"}, "Missing the true-peak ceiling in dBTP (-6 to 0)"},
        {{"meters", "tp", "-1dB"}, "\"-1dB\" is not a number (the true-peak ceiling)"},
        {{"meters", "readout"}, "Missing the meter point"},
        {{"meters", "readout", "x"}, "\"x\" is not a meter point (micRaw, micOut, speakers, recorder)"},
    });
}

TEST(FamiliesTakes, TranslatesEverySubcommand) {
    const std::string queued = "; ovctl takes jobs shows the progress";
    expect_cases({
        {{"takes"}, "takes.list", "{}", kJson, ""},
        {{"takes", "LIST"}, "takes.list", "{}", kJson, ""},
        {{"take", "jobs"}, "takes.jobs", "{}", kJson, ""},
        {{"takes", "job", "+12"}, "takes.job", R"({"id":12})", kJson, ""},
        {{"takes", "cancel", "3"}, "takes.cancel", R"({"id":3})", kConfirm, "Cancelled"},
        {{"takes", "download", "base.en"}, "takes.download", R"({"model":"base.en"})", kConfirm,
         "Download of whisper base.en queued" + queued},
        {{"takes", "transcript", "last"}, "takes.transcript", R"({"q":"","take":"last"})", kJson, ""},
        {{"takes", "transcript", "2024-05-01", "12-30-45", "big", "news"}, "takes.transcript",
         R"({"q":"big news","take":"2024-05-01 12-30-45"})", kJson, ""},
        {{"takes", "play", "2024-05-01", "12-30-45", "90"}, "takes.playAt",
         R"({"at":90.0,"take":"2024-05-01 12-30-45"})", kConfirm, "Playing from 90 s on your headphones"},
        {{"takes", "play", "mytake", "12.5"}, "takes.playAt", R"({"at":12.5,"take":"mytake"})", kConfirm,
         "Playing from 12.5 s on your headphones"},
        {{"takes", "master", "mytake"}, "takes.master", R"({"take":"mytake"})", kConfirm, "Master queued" + queued},
        {{"master", "last"}, "takes.masterLast", R"({"target":"spotify"})", kConfirm,
         "Master of the last take queued" + queued},
        {{"takes", "transcribe", "last"}, "takes.transcribe", R"({"language":"auto","model":"base.en","take":"last"})",
         kConfirm, "Transcript queued" + queued},
        {{"takes", "stems", "song.wav"}, "takes.stems", R"({"model":"auto","take":"song.wav"})", kConfirm,
         "Stem split queued" + queued},
        {{"takes", "split", "song.wav", "center"}, "takes.stems", R"({"model":"center","take":"song.wav"})", kConfirm,
         "Stem split queued" + queued},
        {{"takes", "dawproject", "mytake"}, "takes.dawproject", R"({"markers":"chapters","take":"mytake"})", kConfirm,
         "DAWproject export queued" + queued},
        {{"takes", "daw", "mytake", "none"}, "takes.dawproject", R"({"markers":"none","take":"mytake"})", kConfirm,
         "DAWproject export queued" + queued},
    });
}

TEST(FamiliesTakes, CommandWordsActAsSubcommands) {
    const std::string queued = "; ovctl takes jobs shows the progress";
    expect_cases({
        {{"MASTER", "mytake", "-14"}, "takes.master", R"({"lufs":-14.0,"take":"mytake","target":"custom"})", kConfirm,
         "Master queued" + queued},
        {{"transcribe", "2024-05-01", "12-30-45", "small", "de"}, "takes.transcribe",
         R"({"language":"de","model":"small","take":"2024-05-01 12-30-45"})", kConfirm, "Transcript queued" + queued},
        {{"stems", "My", "Song.wav", "spleeter"}, "takes.stems", R"({"model":"spleeter","take":"My Song.wav"})",
         kConfirm, "Stem split queued" + queued},
        {{"stems", "My", "Song.wav", "Spleeter"}, "takes.stems", R"({"model":"auto","take":"My Song.wav Spleeter"})",
         kConfirm, "Stem split queued" + queued},
        {{"dawproject", "rec1", "suggestions"}, "takes.dawproject", R"({"markers":"suggestions","take":"rec1"})",
         kConfirm, "DAWproject export queued" + queued},
    });
}

TEST(FamiliesTakes, ReadsMasterOptionsInOrder) {
    const std::string queued = "Master of the last take queued; ovctl takes jobs shows the progress";
    expect_cases({
        {{"master", "last", "apple", "mono", "vod"}, "takes.masterLast",
         R"({"mono":true,"source":"vod","target":"apple"})", kConfirm, queued},
        {{"master", "LAST", "podcastMono"}, "takes.masterLast", R"({"target":"podcastmono"})", kConfirm, queued},
        {{"master", "last", "tonal", "Warm", "broadcast", "mono"}, "takes.masterLast",
         R"({"target":"spotify","tonal":"Warm broadcast mono"})", kConfirm, queued},
        {{"master", "last", "youtube", "apple"}, "takes.masterLast", R"({"target":"apple"})", kConfirm, queued},
        // Read at single precision and sent as that value widened to double.
        {{"master", "last", "-13.7"}, "takes.masterLast", R"({"lufs":-13.699999809265137,"target":"custom"})",
         kConfirm, queued},
        {{"master", "last", "inf"}, "takes.masterLast", R"({"lufs":null,"target":"custom"})", kConfirm, queued},
        {{"takes", "master", "2024-05-01", "12-30-45", "MONO"}, "takes.master",
         R"({"mono":true,"take":"2024-05-01 12-30-45"})", kConfirm,
         "Master queued; ovctl takes jobs shows the progress"},
    });
}

TEST(FamiliesTakes, JoinsOnlyATimeOfDayToTheTake) {
    expect_cases({
        {{"takes", "transcript", "2024-05-01", "1-30-45"}, "takes.transcript", R"({"q":"1-30-45","take":"2024-05-01"})",
         kJson, ""},
        {{"takes", "dawproject", "a", "12-30-4x"}, "takes.dawproject", R"({"markers":"12-30-4x","take":"a"})", kConfirm,
         "DAWproject export queued; ovctl takes jobs shows the progress"},
    });
}

TEST(FamiliesTakes, RefusesBadWords) {
    const std::string missing_take =
        "Missing a take (a recording or replay name as `ovctl takes` lists it, recording:<name>, replay:<name>, a "
        "file, or last)";
    expect_refusals({
        {{"takes", "bogus"},
         "takes takes list, jobs, job, cancel, master, transcribe, download, transcript, play, stems or dawproject, "
         "not \"bogus\""},
        {{"takes", "job"}, "Missing a job number"},
        {{"takes", "job", "x"}, "\"x\" is not a job number"},
        {{"takes", "cancel", "-1"}, "\"-1\" is not a job number"},
        {{"takes", "download"}, "Missing a model: tiny.en, tiny, base.en, base, small.en or small"},
        {{"takes", "transcript"}, missing_take},
        {{"takes", "play"}, missing_take},
        {{"takes", "play", "mytake"}, "Missing seconds"},
        {{"takes", "play", "2024-05-01", "12-30-45"}, "Missing seconds"},
        {{"takes", "play", "mytake", "soon"}, "\"soon\" is not a number of seconds"},
        {{"takes", "play", "2024-05-01", "1-30-45", "2"}, "\"1-30-45\" is not a number of seconds"},
        {{"master"}, missing_take},
        {{"master", "last", "mono", "tonal"}, "Missing a target curve name, e.g. Warm broadcast"},
        {{"master", "last", "tonal", " "}, "Missing a target curve name, e.g. Warm broadcast"},
        {{"transcribe"}, missing_take},
        {{"stems"}, "Missing a take or a file"},
        {{"takes", "split", " "}, "Missing a take or a file"},
        {{"dawproject"}, missing_take},
    });
}

}  // namespace
}  // namespace ovctl::family_tests
