// CLAP files and instances with our own test plug-ins: loading, descriptors, creation, ports
// and audio, parameters, state, notices, restarts and the editor operations.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "clap_support.h"
#include "formats.h"

namespace ovhost {
namespace {

using testing::BlockBuffers;
using testing::clap_test_file;
using testing::create_test_plugin;
using testing::effects_file;
using testing::effects_module;
using testing::params_by_id;
using testing::poll_texts;
using testing::run_block;
using testing::trigger;

LoadedPlugin must_create(const std::string& id) {
    auto created = create_test_plugin(id);
    EXPECT_TRUE(created.ok()) << id << ": " << created.error();
    return created.ok() ? std::move(created.value()) : LoadedPlugin{};
}

TEST(ClapFile, LoadFailures) {
    const std::string folder = std::string(OV_BINARY_DIR) + "/test-plugins/clap";
    const std::string text_file = clap_test_file("ov-test-text.clap");
    struct Case {
        std::string path;
        std::string error;  // the whole message, or its start when `prefix_only`
        bool prefix_only = false;
    };
    const Case cases[] = {
        {clap_test_file("missing.clap"), clap_test_file("missing.clap") + " is not a CLAP file"},
        {folder, folder + " is not a CLAP file"},
        {text_file, "could not load " + text_file + " (", true},
        {clap_test_file("ov-test-noentry.clap"), "not a CLAP plugin (no clap_entry)"},
        {clap_test_file("ov-test-old.clap"), "the plugin was built for a pre-1.0 CLAP"},
        {effects_file() + std::string(1, '\0') + "x", "bad path"},
        {clap_test_file("ov-test-noinit.clap"), "the plugin's clap_entry.init failed"},
        {clap_test_file("ov-test-nofactory.clap"), "the plugin has no plugin factory"},
    };
    for (const auto& c : cases) {
        const auto loaded = load_clap_module(c.path);
        ASSERT_FALSE(loaded.ok()) << c.path;
        if (c.prefix_only) {
            EXPECT_EQ(loaded.error().rfind(c.error, 0), 0u) << loaded.error();
            EXPECT_EQ(loaded.error().back(), ')') << loaded.error();
            EXPECT_GT(loaded.error().size(), c.error.size() + 1) << "the system's reason is given";
        } else {
            EXPECT_EQ(loaded.error(), c.error);
        }
    }
    // A symbolic link is not taken for the file it names.
    const std::string link = std::string(OV_BINARY_DIR) + "/clap-link-test.clap";
    std::filesystem::remove(link);
    std::filesystem::create_symlink(effects_file(), link);
    EXPECT_EQ(load_clap_module(link).error(), link + " is not a CLAP file");
    std::filesystem::remove(link);
}

TEST(ClapFile, DescriptorsInFactoryOrder) {
    auto module = effects_module();
    ASSERT_TRUE(module);
    const auto records = clap_descriptors(*module);
    ASSERT_EQ(records.size(), 13u);
    EXPECT_EQ(records[0].id, "org.orvia.test.gain");
    EXPECT_EQ(records[0].name, "Test Gain");
    EXPECT_EQ(records[0].vendor, "Orvia Tests");
    EXPECT_EQ(records[0].version, "1.0.0");
    EXPECT_EQ(records[0].category, "audio-effect|utility");
    EXPECT_EQ(records[2].category, "audio-effect|delay");
    EXPECT_EQ(records[3].id, "org.orvia.test.wide");
    EXPECT_EQ(records[3].category, "") << "no features at all";
    EXPECT_EQ(records[8].category, "") << "an empty feature list";
    EXPECT_EQ(records.back().id, "org.orvia.test.editor-noparent");
}

TEST(ClapFile, EntryIsInitialisedOnceWithThePath) {
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(load_clap_module(effects_file()).ok());
    LoadedPlugin probe = must_create("probe");
    ASSERT_TRUE(probe.instance);
    auto params = params_by_id(*probe.instance);
    EXPECT_EQ(params[128].value, 0.01) << "one init however often the file is loaded";
    EXPECT_EQ(params[127].text, "ov-test-effects.clap");
}

TEST(ClapInstance, CreationFailuresDestroyWhatWasMade) {
    struct Case {
        const char* id;
        const char* error;
    };
    const Case cases[] = {
        {"synth", "not an audio effect: it has no audio input (an instrument?) or no output"},
        {"initfail", "the plugin would not initialise"},
        {"activatefail", "the plugin would not activate at 48 kHz"},
        {"nocreate", "the plugin would not create an instance"},
    };
    for (const auto& c : cases) EXPECT_EQ(create_test_plugin(c.id).error(), c.error) << c.id;

    auto module = effects_module();
    ASSERT_TRUE(module);
    ClapDescriptorRecord with_zero;
    with_zero.id = std::string("org.orvia.test.gain") + '\0' + "x";
    EXPECT_EQ(create_clap_plugin(module, with_zero).error(), "bad plugin id");
    ClapDescriptorRecord unknown;
    unknown.id = "org.orvia.test.unknown";
    EXPECT_EQ(create_clap_plugin(module, unknown).error(), "the plugin would not create an instance");

    // The probe counts the live instances of the file: only itself is left.
    LoadedPlugin probe = must_create("probe");
    ASSERT_TRUE(probe.instance);
    EXPECT_EQ(params_by_id(*probe.instance)[124].value, 0.01);
}

TEST(ClapInstance, SlotPluginsByFileAndId) {
    auto gain = load_slot_plugin("clap", effects_file(), "org.orvia.test.gain", 1);
    ASSERT_TRUE(gain.ok()) << gain.error();
    EXPECT_EQ(gain->name, "Test Gain");
    EXPECT_EQ(gain->vendor, "Orvia Tests");
    EXPECT_EQ(load_slot_plugin("clap", effects_file(), "org.orvia.test.gone", 1).error(),
              "the file no longer has that plugin");
    EXPECT_EQ(load_slot_plugin("clap", clap_test_file("ov-test-old.clap"), "x", 1).error(),
              "the plugin was built for a pre-1.0 CLAP");
}

TEST(ClapInstance, PortsDecideTheChannels) {
    struct Case {
        const char* id;
        std::uint32_t inputs, outputs;
    };
    const Case cases[] = {
        {"gain", 2, 2},       // no audio-ports extension: stereo
        {"mono", 1, 1},       //
        {"sidechain", 2, 2},  // the second input port is the main one
        {"wide", 1, 8},       // 0 channels count as 1, 16 as 8
    };
    for (const auto& c : cases) {
        LoadedPlugin plugin = must_create(c.id);
        EXPECT_EQ(plugin.inputs, c.inputs) << c.id;
        EXPECT_EQ(plugin.outputs, c.outputs) << c.id;
    }
}

TEST(ClapProcessor, AudioReachesTheMainPorts) {
    struct Case {
        const char* id;
        std::uint32_t host_inputs, host_outputs;
        double factor;  // output channel c = factor x host input min(c, inputs - 1)
    };
    const Case cases[] = {
        {"gain", 2, 2, 1.0},
        {"mono", 1, 1, 1.0},
        // The side-chain port reads a scratch buffer of zeros; the host audio goes to the main port.
        {"sidechain", 2, 2, 0.5},
        {"wide", 1, 8, 1.0},
        // Fewer host buffers than the main port has channels: the last one is repeated.
        {"probe", 1, 1, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        LoadedPlugin plugin = must_create(c.id);
        ASSERT_TRUE(plugin.processor);
        plugin.processor->start();
        BlockBuffers buffers(c.host_inputs, c.host_outputs);
        for (int block = 0; block < 2; ++block) buffers.run(*plugin.processor);
        plugin.processor->stop();
        for (std::uint32_t ch = 0; ch < c.host_outputs; ++ch)
            for (std::uint32_t i = 0; i < kBlockFrames; i += 37)
                ASSERT_FLOAT_EQ(buffers.out[ch][i],
                                static_cast<float>(c.factor * buffers.in[std::min(ch, c.host_inputs - 1)][i]))
                    << "channel " << ch << " frame " << i;
    }
}

TEST(ClapParams, ListedInTheirOwnRanges) {
    LoadedPlugin gain = must_create("gain");
    ASSERT_TRUE(gain.instance);
    const auto list = gain.instance->params();
    struct Want {
        std::uint32_t id;
        const char* name;
        double value;
        const char* text;
        std::int32_t steps;
        double default_value;
        bool automatable, read_only;
    };
    const Want wanted[] = {
        {1, "Gain", 0.5, "0.0 dB", 0, 0.5, true, false},
        {2, "Mode", 0.0, "0.000", 3, 0.0, true, false},     // no text from the plug-in: 3 decimals
        {3, "Fixed", 0.0, "5.000", 0, 0.0, false, false},   // min = max
        {5, "Meter", 0.0, "0.0", 0, 0.0, false, true},      // read-only
        {6, "Activations", 0.01, "1.0", 100, 0.0, false, true},
        {9, "Action", 0.0, "0.0", 20, 0.0, false, false},
    };
    ASSERT_EQ(list.size(), std::size(wanted)) << "the hidden parameter is left out";
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& got = list[i];
        const auto& want = wanted[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.name, want.name);
        EXPECT_EQ(got.units, "");
        EXPECT_DOUBLE_EQ(got.value, want.value);
        EXPECT_EQ(got.text, want.text);
        EXPECT_EQ(got.steps, want.steps);
        EXPECT_DOUBLE_EQ(got.default_value, want.default_value);
        EXPECT_EQ(got.automatable, want.automatable);
        EXPECT_EQ(got.read_only, want.read_only);
    }
    LoadedPlugin side = must_create("sidechain");
    EXPECT_TRUE(side.instance->params().empty());
}

TEST(ClapParams, SetQueuesPlainValuesForTheNextBlock) {
    LoadedPlugin gain = must_create("gain");
    ASSERT_TRUE(gain.instance);
    auto set = gain.instance->set_param(1, 0.75);
    ASSERT_TRUE(set.ok()) << set.error();
    EXPECT_DOUBLE_EQ(set->value, 0.75);
    EXPECT_EQ(set->text, "0.0 dB") << "the text is the plug-in's, before it saw the change";
    EXPECT_EQ(params_by_id(*gain.instance)[1].text, "0.0 dB");
    run_block(gain);
    EXPECT_EQ(params_by_id(*gain.instance)[1].text, "12.0 dB") << "the plain value 12 arrived";

    auto mode = gain.instance->set_param(2, 0.5);
    ASSERT_TRUE(mode.ok());
    EXPECT_DOUBLE_EQ(mode->value, 2.0 / 3.0) << "1.5 steps round away from zero";
    EXPECT_EQ(mode->steps, 3);
    run_block(gain);
    EXPECT_EQ(params_by_id(*gain.instance)[2].text, "2.000");

    EXPECT_TRUE(gain.instance->set_param(4, 1.0).ok()) << "a hidden parameter can still be set";

    struct Refusal {
        const char* id;
        std::uint32_t param;
        const char* error;
    };
    const Refusal refusals[] = {
        {"gain", 4242, "no parameter 4242"},
        {"gain", 5, "Meter is read-only"},
        {"sidechain", 1, "no parameter 1"},
    };
    for (const auto& r : refusals) {
        LoadedPlugin plugin = must_create(r.id);
        EXPECT_EQ(plugin.instance->set_param(r.param, 0.5).error(), r.error) << r.id;
    }
}

TEST(ClapParams, TwoHundredValuesArriveOver128EventsPerBlock) {
    LoadedPlugin probe = must_create("probe");
    ASSERT_TRUE(probe.instance);
    for (int i = 1; i <= 200; ++i) ASSERT_TRUE(probe.instance->set_param(1, i / 1000.0).ok());
    probe.processor->start();
    for (int block = 0; block < 3; ++block) run_block(probe);
    probe.processor->stop();
    auto params = params_by_id(*probe.instance);
    // Events counted in 0..1024, steady time in 0..491520 (480 x 1024).
    EXPECT_EQ(params[100].value * 1024, 128);
    EXPECT_EQ(params[101].value * 1024, 72);
    EXPECT_EQ(params[102].value * 1024, 0);
    EXPECT_EQ(params[110].value * 491520, 0);
    EXPECT_EQ(params[111].value * 491520, 480);
    EXPECT_EQ(params[112].value * 491520, 960);
    EXPECT_DOUBLE_EQ(params[126].value, 0.2) << "the values arrive in order, the last one last";
}

TEST(ClapCallbacks, ThreadChecksTellTheCreatingThreadFromOthers) {
    LoadedPlugin probe = must_create("probe");
    ASSERT_TRUE(probe.processor);
    std::thread audio([&] {
        probe.processor->start();
        run_block(probe);
        probe.processor->stop();
    });
    audio.join();
    auto params = params_by_id(*probe.instance);
    EXPECT_EQ(params[120].value, 0.0) << "audio thread is main";
    EXPECT_EQ(params[121].value, 1.0) << "audio thread is audio";
    EXPECT_EQ(params[122].value, 1.0) << "main thread is main";
    EXPECT_EQ(params[123].value, 0.0) << "main thread is audio";
}

TEST(ClapState, SavedInChunksAndReadBackInSmallReads) {
    LoadedPlugin gain = must_create("gain");
    ASSERT_TRUE(gain.instance);
    ASSERT_TRUE(gain.instance->set_param(1, 0.75).ok());
    ASSERT_TRUE(gain.instance->set_param(2, 1.0).ok());
    run_block(gain);
    auto saved = gain.instance->save_state();
    ASSERT_TRUE(saved.ok()) << saved.error();
    ASSERT_EQ(saved->size(), 20u) << "three chunks: magic, gain, mode";
    EXPECT_EQ(std::string(saved->begin(), saved->begin() + 4), "OVCS");
    double gain_value = 0;
    std::memcpy(&gain_value, saved->data() + 4, 8);
    EXPECT_EQ(gain_value, 12.0);

    LoadedPlugin other = must_create("gain");
    ASSERT_TRUE(other.instance->load_state(saved.value()).ok());
    auto params = params_by_id(*other.instance);
    EXPECT_DOUBLE_EQ(params[1].value, 0.75);
    EXPECT_DOUBLE_EQ(params[2].value, 1.0);
    EXPECT_EQ(other.instance->save_state().value(), saved.value());

    std::vector<std::uint8_t> short_state(saved->begin(), saved->end() - 1);
    std::vector<std::uint8_t> long_state = saved.value();
    long_state.push_back(0);
    std::vector<std::uint8_t> wrong_magic = saved.value();
    wrong_magic[0] = 'X';
    for (const auto& bytes : {short_state, long_state, wrong_magic, std::vector<std::uint8_t>{}})
        EXPECT_EQ(other.instance->load_state(bytes).error(), "the plugin refused its saved state");

    struct Refusal {
        const char* id;
        const char* save_error;
        const char* load_error;
    };
    const Refusal refusals[] = {
        {"probe", "this plugin saves no state", "this plugin saves no state"},
        {"wide", "the plugin would not save its state", "the plugin refused its saved state"},
    };
    for (const auto& r : refusals) {
        LoadedPlugin plugin = must_create(r.id);
        EXPECT_EQ(plugin.instance->save_state().error(), r.save_error) << r.id;
        EXPECT_EQ(plugin.instance->load_state(saved.value()).error(), r.load_error) << r.id;
    }
}

TEST(ClapPoll, RequestsBecomeNoticesInOrder) {
    struct Case {
        const char* id;
        int action;
        std::vector<std::string> notices;
    };
    const Case cases[] = {
        {"gain", 1, {"dirty"}},
        {"gain", 2, {"restart", "latency"}},
        {"gain", 3, {"restart"}},
        {"gain", 10, {"param 5 0.5"}},  // the note and the unknown id are dropped
        {"gain", 12, {"dirty"}},        // marked dirty from the audio thread
        {"editor", 4, {"resize 320x200"}},
        {"editor", 5, {"closed"}},
        {"editor", 6, {}},  // a zero width is no resize
        {"editor", 7, {"resize 420x260"}},
        // Everything requested from on_main_thread is reported by the same poll, in the
        // fixed order.
        {"editor", 8, {"restart", "restart", "latency", "dirty", "closed", "resize 300x200"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.id) + " action " + std::to_string(c.action));
        LoadedPlugin plugin = must_create(c.id);
        ASSERT_TRUE(plugin.instance);
        EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{});
        trigger(plugin, c.action);
        EXPECT_EQ(poll_texts(*plugin.instance), c.notices);
        EXPECT_EQ(poll_texts(*plugin.instance), std::vector<std::string>{}) << "each request is reported once";
    }
}

// The gui is sized only while it exists (with a window, the editor tests show set_size at
// work); the request is reported either way, for the host window.
TEST(ClapPoll, ResizeRequestsWithoutAGuiSizeNothing) {
    LoadedPlugin editor = must_create("editor");
    ASSERT_TRUE(editor.instance);
    trigger(editor, 7);
    EXPECT_EQ(poll_texts(*editor.instance), std::vector<std::string>{"resize 420x260"});
    auto params = params_by_id(*editor.instance);
    EXPECT_EQ(params[20].text, "480.0") << "set_size without a gui";
    EXPECT_EQ(params[21].text, "320.0");

    LoadedPlugin gain = must_create("gain");  // no gui of its own: still reported
    trigger(gain, 4);
    EXPECT_EQ(poll_texts(*gain.instance), std::vector<std::string>{"resize 320x200"});
}

TEST(ClapPoll, OutputValuesPastTheBlockLimitAreDropped) {
    LoadedPlugin gain = must_create("gain");
    trigger(gain, 11);
    const auto texts = poll_texts(*gain.instance);
    ASSERT_EQ(texts.size(), 128u);
    EXPECT_EQ(texts.front(), "param 5 0");
    EXPECT_EQ(texts.back(), "param 5 " + ov::num::plain(127 * 0.05 / 12.0));
}

TEST(ClapInstance, ReactivateAndLatency) {
    LoadedPlugin gain = must_create("gain");
    ASSERT_TRUE(gain.instance);
    EXPECT_EQ(gain.instance->latency(), 0u);
    EXPECT_TRUE(gain.instance->reactivate().ok());
    EXPECT_EQ(params_by_id(*gain.instance)[6].text, "2.0") << "activated again";

    trigger(gain, 2);
    EXPECT_EQ(poll_texts(*gain.instance), (std::vector<std::string>{"restart", "latency"}));
    EXPECT_EQ(gain.instance->latency(), 64u);

    trigger(gain, 13);  // the next activate fails
    EXPECT_EQ(poll_texts(*gain.instance), std::vector<std::string>{"restart"});
    EXPECT_EQ(gain.instance->reactivate().error(), "the plugin would not activate at 48 kHz");
    EXPECT_TRUE(gain.instance->reactivate().ok()) << "an inactive plug-in can be activated again";
    EXPECT_EQ(params_by_id(*gain.instance)[6].text, "3.0");

    LoadedPlugin mono = must_create("mono");  // no latency extension
    EXPECT_EQ(mono.instance->latency(), 0u);
}

// The test plug-ins refuse to be activated twice and count instances destroyed while active.
TEST(ClapInstance, LifecycleCallsComeInTheirOrder) {
    {
        LoadedPlugin gain = must_create("gain");
        ASSERT_TRUE(gain.instance);
        EXPECT_TRUE(gain.instance->reactivate().ok()) << "deactivated before activating again";
        EXPECT_TRUE(gain.instance->reactivate().ok());
        trigger(gain, 13);
        poll_texts(*gain.instance);
        EXPECT_FALSE(gain.instance->reactivate().ok()) << "left inactive";
        LoadedPlugin editor = must_create("editor");
        EXPECT_FALSE(editor.instance->open_editor(nullptr).ok());
    }
    LoadedPlugin probe = must_create("probe");
    ASSERT_TRUE(probe.processor);
    EXPECT_EQ(params_by_id(*probe.instance)[130].value, 0.0) << "every teardown deactivated first";
    EXPECT_EQ(params_by_id(*probe.instance)[129].value, 0.0);
    probe.processor->start();
    EXPECT_EQ(params_by_id(*probe.instance)[129].value, 1.0) << "start_processing";
    probe.processor->stop();
    EXPECT_EQ(params_by_id(*probe.instance)[129].value, 0.0) << "stop_processing";
}

TEST(ClapEditor, OperationsWithoutAUsableParent) {
    struct Case {
        const char* id;
        bool has_editor;
        const char* open_error;
    };
    const Case cases[] = {
        {"gain", false, "this plugin has no window of its own"},
        {"editor-otherapi", false, "the plugin's window does not support Windows"},
        {"editor-nocreate", true, "the plugin could not create its window"},
        {"editor-noparent", true, "the plugin could not open its window"},
        // A null parent cannot take a child window.
        {"editor", true, "the plugin could not open its window"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        LoadedPlugin plugin = must_create(c.id);
        ASSERT_TRUE(plugin.instance);
        EXPECT_EQ(plugin.instance->has_editor(), c.has_editor);
        EXPECT_EQ(plugin.instance->open_editor(nullptr).error(), c.open_error);
        plugin.instance->close_editor();  // nothing open: nothing happens
    }

    LoadedPlugin editor = must_create("editor");
    editor.instance->close_editor();
    editor.instance->editor_resized(10, 5000);  // no gui: nothing to size
    auto params = params_by_id(*editor.instance);
    EXPECT_EQ(params[20].text, "480.0");
    EXPECT_EQ(params[21].text, "320.0");
    EXPECT_EQ(params[22].value, 0.0) << "no window exists";
}

}  // namespace
}  // namespace ovhost
