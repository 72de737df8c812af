// VST3 modules, classes and instances, with the test modules of tests/plugins/vst3 (see the
// top of effects.cpp there for what each class and parameter does).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "vst3/vst3.h"
#include "xvfb_server.h"

namespace ovhost {
namespace {

namespace fs = std::filesystem;

std::string test_module(const std::string& name) { return std::string(OV_BINARY_DIR) + "/test-plugins/vst3/" + name; }
const std::string kBundle = test_module("OvFx.vst3");
const std::string kFailing = test_module("OvFxFailing.vst3");
const std::string kPlain = test_module("OvFxPlain.VST3");

// The class ids of the test modules: "OVFX", eleven zero bytes and a tag.
std::string uid_of(unsigned tag) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return std::string("4F5646580000000000000000000000") + kDigits[tag >> 4] + kDigits[tag & 0xF];
}

enum Tag : unsigned {
    kGainSingle = 1, kGainSplit = 2, kStereoOnly = 3, kSideChain = 4, kBlock512 = 5, kManyParams = 6, kBare = 7,
    kSurround = 8, kNoSave = 0x19,
};

// Parameter ids of the test effects.
enum Param : std::uint32_t { kGain = 0, kMode = 1, kMeter = 2, kSecret = 3, kLatency = 4, kEdit = 5, kViewSize = 6, kRestart = 7, kLinks = 8 };

LoadedPlugin load(unsigned tag, std::uint32_t channels = 2, const std::string& path = kBundle) {
    auto loaded = load_vst3_slot_plugin(path, uid_of(tag), channels);
    EXPECT_TRUE(loaded.ok()) << (loaded.ok() ? "" : loaded.error());
    return loaded.ok() ? std::move(loaded.value()) : LoadedPlugin{};
}

class TempFolder {
public:
    TempFolder() {
        path_ = fs::temp_directory_path() / ("ov-vst3-test-" + std::to_string(::getpid()));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// One block of 480 frames through the processor, on the calling thread.
struct Block {
    std::vector<std::vector<float>> in, out;
    explicit Block(std::uint32_t channels) : in(channels, std::vector<float>(kBlockFrames)), out(in) {
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::uint32_t i = 0; i < kBlockFrames; ++i) in[c][i] = 0.001f * static_cast<float>(i + 1) * (c + 1);
    }
    // As the audio thread runs it: started (unless it already is), processed, and stopped
    // again when this call started it.
    void run(PluginProcessor& processor) {
        std::vector<const float*> ins;
        std::vector<float*> outs;
        for (auto& channel : in) ins.push_back(channel.data());
        for (auto& channel : out) outs.push_back(channel.data());
        const bool started_here = processor.start();
        processor.process(ins.data(), static_cast<std::uint32_t>(ins.size()), outs.data(),
                          static_cast<std::uint32_t>(outs.size()), kBlockFrames);
        if (started_here) processor.stop();
    }
    // Every output channel is its input times `factor`.
    void expect_gain(double factor) const {
        for (std::size_t c = 0; c < out.size(); ++c)
            for (std::uint32_t i = 0; i < kBlockFrames; i += 37)
                ASSERT_NEAR(out[c][i], in[c][i] * factor, 1e-6) << "channel " << c << " frame " << i;
    }
};

std::vector<Notice> poll(PluginInstance& instance) {
    std::vector<Notice> notices;
    instance.poll(notices);
    return notices;
}

TEST(Vst3Module, BundlesLoadTheBinaryInsideAndSingleFilesThemselves) {
    EXPECT_EQ(vst3_module_file(kBundle), kBundle + "/Contents/x86_64-linux/OvFx.so");
    EXPECT_EQ(vst3_module_file(kBundle + "/"), kBundle + "/Contents/x86_64-linux/OvFx.so");
    EXPECT_EQ(vst3_module_file(kFailing), kFailing);
    EXPECT_EQ(vst3_module_file("/no/such/Foo.vst3"), "/no/such/Foo.vst3");

    TempFolder folder;
    struct Case {
        const char* bundle;
        const char* binary;
    };
    const Case cases[] = {
        {"My.Plug.vst3", "My.Plug.so"},
        {"NoDot", "NoDot.so"},
        {".hidden", ".hidden.so"},
        {".two.vst3", ".two.so"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bundle);
        fs::create_directories(folder / c.bundle);
        EXPECT_EQ(vst3_module_file(folder / c.bundle), folder / c.bundle + "/Contents/x86_64-linux/" + c.binary);
    }
}

TEST(Vst3Module, ModulesThatDoNotLoad) {
    TempFolder folder;
    fs::create_directories(folder / "Empty.vst3");
    fs::create_directories(folder / "Inner.vst3/Contents/x86_64-linux/Inner.so");  // a folder, not a file
    fs::create_directories(folder / "Linked.vst3/Contents/x86_64-linux");
    fs::create_symlink(kFailing, folder / "Linked.vst3/Contents/x86_64-linux/Linked.so");
    fs::create_symlink(kFailing, folder / "link.vst3");
    std::ofstream(folder / "text.vst3") << "not a library";
    const std::string empty_binary = folder / "Empty.vst3/Contents/x86_64-linux/Empty.so";
    const std::string inner_binary = folder / "Inner.vst3/Contents/x86_64-linux/Inner.so";
    const std::string linked_binary = folder / "Linked.vst3/Contents/x86_64-linux/Linked.so";
    struct Case {
        std::string path;
        std::string error;
    };
    const Case cases[] = {
        {folder / "Empty.vst3", folder / "Empty.vst3" + " is not a VST3 module (no " + empty_binary + ")"},
        {folder / "Inner.vst3", folder / "Inner.vst3" + " is not a VST3 module (no " + inner_binary + ")"},
        {folder / "Linked.vst3", folder / "Linked.vst3" + " is not a VST3 module (no " + linked_binary + ")"},
        {folder / "link.vst3", folder / "link.vst3" + " is not a VST3 module (no " + folder / "link.vst3" + ")"},
        {folder / "gone.vst3", folder / "gone.vst3" + " is not a VST3 module (no " + folder / "gone.vst3" + ")"},
        {test_module("OvFxInitFails.vst3"), "the plugin's InitDll failed"},
        {test_module("OvFxNoExport.vst3"), "not a VST3 module (no GetPluginFactory)"},
        {test_module("OvFxNullFactory.vst3"), "the plugin returned no factory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto module = load_vst3_module(c.path);
        ASSERT_FALSE(module.ok());
        EXPECT_EQ(module.error(), c.error);
    }
    auto text = load_vst3_module(folder / "text.vst3");
    ASSERT_FALSE(text.ok());
    EXPECT_EQ(text.error().rfind("could not load " + folder / "text.vst3" + " (", 0), 0u) << text.error();
    EXPECT_EQ(text.error().back(), ')');
}

TEST(Vst3Module, ClassesOfAModuleInFactoryOrder) {
    struct Expected {
        const char* name;
        const char* vendor;
        const char* version;
        const char* sub_categories;
    };
    auto check = [](const std::string& path, const std::vector<Expected>& expected) {
        SCOPED_TRACE(path);
        auto module = load_vst3_module(path);
        ASSERT_TRUE(module.ok()) << module.error();
        const auto records = list_vst3_classes(*module.value());
        ASSERT_EQ(records.size(), expected.size());
        for (std::size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(records[i].name, expected[i].name);
            EXPECT_EQ(records[i].vendor, expected[i].vendor);
            EXPECT_EQ(records[i].version, expected[i].version);
            EXPECT_EQ(records[i].sub_categories, expected[i].sub_categories);
        }
    };
    // "Split Controller" is no effect; "Classic" has the category text followed by more.
    check(kBundle, {{"Gain Single", "Orvia Tests", "1.0.0", "Fx"},
                    {"Gain Split", "Split Works", "2.1", "Fx|Dynamics"},
                    {"Stereo Only", "Orvia Tests", "1.0.0", "Fx"},
                    {"Side Chain", "Orvia Tests", "1.0.0", "Fx|Sidechain"},
                    {"Block 512", "Orvia Tests", "1.0.0", "Fx"},
                    {"Many Params", "Orvia Tests", "1.0.0", "Fx"},
                    {"Bare", "Orvia Tests", "1.0.0", "Fx"},
                    {"Surround", "Orvia Tests", "1.0.0", "Fx"}});
    // Without IPluginFactory2: no version, no sub-categories, the factory's vendor.
    check(kPlain, {{"Gain Single", "Orvia Tests", "", ""},
                   {"Gain Split", "Orvia Tests", "", ""},
                   {"Stereo Only", "Orvia Tests", "", ""},
                   {"Side Chain", "Orvia Tests", "", ""},
                   {"Block 512", "Orvia Tests", "", ""},
                   {"Many Params", "Orvia Tests", "", ""},
                   {"Bare", "Orvia Tests", "", ""},
                   {"Surround", "Orvia Tests", "", ""}});
    auto failing = load_vst3_module(kFailing);
    ASSERT_TRUE(failing.ok());
    const auto records = list_vst3_classes(*failing.value());
    EXPECT_EQ(records.size(), 8u);  // "Bad Info" whose class info fails is left out
    EXPECT_EQ(vst3_class_uid(records[0].cid), uid_of(0x11));
}

TEST(Vst3Module, SlotPluginsAreFoundByClassId) {
    struct Case {
        std::string path;
        std::string uid;
        std::string error;  // empty: loads
    };
    const Case cases[] = {
        {kBundle, uid_of(kGainSingle), ""},
        {kBundle, "4f564658000000000000000000000002", ""},
        {kBundle, uid_of(0x77), "the module no longer has that plugin"},
        {kBundle, uid_of(0xC0), "the module no longer has that plugin"},  // the controller class
        {kBundle, uid_of(kGainSingle).substr(1), "\"" + uid_of(kGainSingle).substr(1) + "\" is not a VST3 class id"},
        {kBundle, "4F56465800000000000000000000000G", "\"4F56465800000000000000000000000G\" is not a VST3 class id"},
        {"/no/such.vst3", "x", "/no/such.vst3 is not a VST3 module (no /no/such.vst3)"},
        {kFailing, uid_of(0x11), "the plugin would not create its component"},
        {kFailing, uid_of(0x12), "the plugin's component would not initialise"},
        {kFailing, uid_of(0x13), "not an audio effect (no IAudioProcessor)"},
        {kFailing, uid_of(0x14), "not an audio effect: it has no audio input (an instrument?) or no output"},
        {kFailing, uid_of(0x15), "the plugin cannot process 32-bit float audio"},
        {kFailing, uid_of(0x16), "the plugin refused 48 kHz with 480-frame blocks"},
        {kFailing, uid_of(0x17), "the plugin would not activate"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + c.uid);
        for (std::uint32_t channels : {1u, 2u}) {
            auto loaded = load_vst3_slot_plugin(c.path, c.uid, channels);
            EXPECT_EQ(loaded.ok() ? std::string() : loaded.error(), c.error);
        }
    }
}

TEST(Vst3Instance, MainBusesFollowTheRequestWhereThePluginAllows) {
    struct Case {
        unsigned tag;
        std::uint32_t channels;
        std::uint32_t inputs, outputs;
    };
    const Case cases[] = {
        {kGainSingle, 1, 1, 1}, {kGainSingle, 2, 2, 2}, {kGainSplit, 1, 1, 1},
        {kStereoOnly, 1, 2, 2},  // refuses mono: stereo instead
        {kSideChain, 1, 1, 1},   // only bus 0 counts
        {kSideChain, 2, 2, 2},   {kBlock512, 1, 1, 1}, {kSurround, 2, 6, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "class " << c.tag << ", " << c.channels << " channels");
        LoadedPlugin plugin = load(c.tag, c.channels);
        ASSERT_TRUE(plugin.instance);
        EXPECT_EQ(plugin.inputs, c.inputs);
        EXPECT_EQ(plugin.outputs, c.outputs);
    }
}

TEST(Vst3Instance, ProcessesBlocksWithTheGainItWasGiven) {
    struct Case {
        unsigned tag;
        std::uint32_t rack_channels;
        std::uint32_t host_buffers;
    };
    const Case cases[] = {
        {kGainSingle, 1, 1}, {kGainSingle, 2, 2}, {kGainSplit, 2, 2}, {kSideChain, 2, 2},
        {kBlock512, 2, 2},  // set up for 512-frame blocks, given 480
        {kStereoOnly, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "class " << c.tag);
        LoadedPlugin plugin = load(c.tag, c.rack_channels);
        ASSERT_TRUE(plugin.processor);
        Block block(c.host_buffers);
        plugin.processor->start();
        block.run(*plugin.processor);
        block.expect_gain(1.0);
        ASSERT_TRUE(plugin.instance->set_param(kGain, 0.75).ok());
        block.run(*plugin.processor);
        block.expect_gain(1.5);
        plugin.processor->stop();
    }
}

TEST(Vst3Instance, ExtraPluginChannelsShareTheLastHostChannel) {
    LoadedPlugin plugin = load(kSurround, 2);
    ASSERT_TRUE(plugin.processor);
    Block block(2);
    block.run(*plugin.processor);
    // The effect weighs its channel c by c + 1. Plug-in channels 1 to 5 all read and write
    // host channel 1, so channel 5 writes last: six times host channel 1's input.
    for (std::uint32_t i = 0; i < kBlockFrames; i += 37) {
        ASSERT_NEAR(block.out[0][i], block.in[0][i], 1e-6) << i;
        ASSERT_NEAR(block.out[1][i], 6 * block.in[1][i], 1e-5) << i;
    }
}

TEST(Vst3Instance, ParametersAsListed) {
    LoadedPlugin plugin = load(kGainSingle);
    const auto params = plugin.instance->params();
    ASSERT_EQ(params.size(), 8u);  // "Secret" is hidden
    std::vector<std::uint32_t> ids;
    for (const auto& p : params) ids.push_back(p.id);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{kGain, kMode, kMeter, kLatency, kEdit, kViewSize, kRestart, kLinks}));
    const ParamInfo& gain = params[0];
    EXPECT_EQ(gain.name, "Gain");
    EXPECT_EQ(gain.units, "x");
    EXPECT_EQ(gain.value, 0.5);
    EXPECT_EQ(gain.text, "1.00");
    EXPECT_EQ(gain.steps, 0);
    EXPECT_EQ(gain.default_value, 0.5);
    EXPECT_TRUE(gain.automatable);
    EXPECT_FALSE(gain.read_only);
    EXPECT_EQ(params[1].steps, 3);
    EXPECT_EQ(params[1].text, "Mode 0");
    EXPECT_TRUE(params[2].read_only);
    EXPECT_FALSE(params[2].automatable);
    EXPECT_EQ(params[3].units, "samples");
    EXPECT_EQ(params[4].text, "");  // no display text from the plug-in

    EXPECT_TRUE(load(kBare).instance->params().empty());
    EXPECT_EQ(load(kManyParams).instance->params().size(), 88u);
}

TEST(Vst3Instance, SetParamClampsAndRefuses) {
    LoadedPlugin plugin = load(kGainSingle);
    struct Case {
        std::uint32_t id;
        double value;
        std::string error;
        double stored;
        std::string text;
    };
    const Case cases[] = {
        {kGain, 1.7, "", 1.0, "2.00"},
        {kGain, -3, "", 0.0, "0.00"},
        {kGain, 0.25, "", 0.25, "0.50"},
        {kSecret, 0.9, "", 0.9, "0.90"},  // hidden, yet settable
        {kMeter, 0.5, "Meter is read-only", 0, ""},
        {999, 0.5, "no parameter 999", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        auto set = plugin.instance->set_param(c.id, c.value);
        if (!c.error.empty()) {
            ASSERT_FALSE(set.ok());
            EXPECT_EQ(set.error(), c.error);
            continue;
        }
        ASSERT_TRUE(set.ok()) << set.error();
        EXPECT_EQ(set->id, c.id);
        EXPECT_EQ(set->value, c.stored);
        EXPECT_EQ(set->text, c.text);
    }
    auto bare = load(kBare).instance->set_param(kGain, 0.5);
    ASSERT_FALSE(bare.ok());
    EXPECT_EQ(bare.error(), "this plugin exposes no parameters");
}

TEST(Vst3Instance, SeventyChangesReachThePluginSixtyFourThenSix) {
    LoadedPlugin plugin = load(kManyParams);
    for (std::uint32_t id = 100; id < 170; ++id) ASSERT_TRUE(plugin.instance->set_param(id, 0.5).ok());
    Block block(2);
    block.run(*plugin.processor);
    auto first = poll(*plugin.instance);
    block.run(*plugin.processor);
    auto second = poll(*plugin.instance);
    block.run(*plugin.processor);
    auto third = poll(*plugin.instance);
    // The effect reports the number of changes of its n-th busy block as parameter 200 + n.
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_TRUE(third.empty());
    const auto a = std::get<notice::ParamChanged>(first[0]);
    const auto b = std::get<notice::ParamChanged>(second[0]);
    EXPECT_EQ(a.id, 201u);
    EXPECT_DOUBLE_EQ(a.value, 0.64);
    EXPECT_EQ(b.id, 202u);
    EXPECT_DOUBLE_EQ(b.value, 0.06);
}

TEST(Vst3Instance, NoticesFromEditsRestartsAndOutputChanges) {
    LoadedPlugin plugin = load(kGainSingle);
    PluginInstance& instance = *plugin.instance;
    EXPECT_TRUE(poll(instance).empty());

    // An output change of the meter comes back as a parameter change, and the controller
    // is told the same value.
    ASSERT_TRUE(instance.set_param(kGain, 0.8).ok());
    Block block(2);
    block.run(*plugin.processor);
    auto notices = poll(instance);
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(std::get<notice::ParamChanged>(notices[0]).id, static_cast<std::uint32_t>(kMeter));
    EXPECT_EQ(std::get<notice::ParamChanged>(notices[0]).value, 0.8);
    EXPECT_EQ(instance.params()[2].value, 0.8);

    // An edit made by the plug-in: reported, marks the state dirty, and reaches the audio.
    ASSERT_TRUE(instance.set_param(kEdit, 0.3).ok());
    notices = poll(instance);
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_EQ(std::get<notice::ParamChanged>(notices[0]).id, static_cast<std::uint32_t>(kGain));
    EXPECT_EQ(std::get<notice::ParamChanged>(notices[0]).value, 0.3);
    EXPECT_TRUE(std::holds_alternative<notice::StateDirty>(notices[1]));
    block.run(*plugin.processor);
    block.expect_gain(0.6);

    struct Case {
        std::uint32_t flags;
        std::vector<std::size_t> tags;  // Notice indexes in order
    };
    const Case cases[] = {
        {4, {}}, {16, {}}, {1, {2}}, {2, {2}}, {8, {2, 1}}, {1 | 8 | 4, {2, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        poll(instance);
        ASSERT_TRUE(instance.set_param(kRestart, c.flags / 255.0).ok());
        std::vector<std::size_t> tags;
        for (const auto& n : poll(instance)) tags.push_back(n.index());
        EXPECT_EQ(tags, c.tags);
    }

    // A latency change: the plug-in asks for a restart; the new latency holds afterwards.
    EXPECT_EQ(instance.latency(), 0u);
    ASSERT_TRUE(instance.set_param(kLatency, 0.1).ok());
    std::vector<std::size_t> tags;
    for (const auto& n : poll(instance)) tags.push_back(n.index());
    EXPECT_EQ(tags, (std::vector<std::size_t>{2, 1}));
    EXPECT_TRUE(instance.reactivate().ok());
    EXPECT_EQ(instance.latency(), 100u);
}

TEST(Vst3Instance, StateRoundTripsThroughTheContainer) {
    for (unsigned tag : {kGainSingle, kGainSplit}) {
        SCOPED_TRACE(tag);
        LoadedPlugin original = load(tag);
        ASSERT_TRUE(original.instance->set_param(kGain, 0.75).ok());
        ASSERT_TRUE(original.instance->set_param(kMode, 1.0).ok());
        Block block(2);
        block.run(*original.processor);  // the component learns the values
        auto saved = original.instance->save_state();
        ASSERT_TRUE(saved.ok()) << saved.error();
        const auto& bytes = saved.value();
        ASSERT_GE(bytes.size(), 40u);
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), std::string("OVV3\x1C\0\0\0", 8));
        // The controller's own state only for a separate controller: "FXE1" and a double.
        const std::uint32_t controller_length = bytes[36];
        EXPECT_EQ(controller_length, tag == kGainSplit ? 12u : 0u);
        EXPECT_EQ(bytes.size(), 40u + controller_length);

        LoadedPlugin restored = load(tag);
        ASSERT_TRUE(restored.instance->load_state(bytes).ok());
        const auto params = restored.instance->params();
        EXPECT_EQ(params[0].value, 0.75);
        EXPECT_EQ(params[1].value, 1.0);
        if (tag == kGainSplit) {
            // The component greeted the controller once through a host-made message; the
            // restored controller state says the same.
            EXPECT_DOUBLE_EQ(params[7].value, 0.1);
        }
        block.run(*restored.processor);
        block.expect_gain(1.5);
    }
}

TEST(Vst3Instance, StateFailures) {
    LoadedPlugin plugin = load(kGainSplit);
    ASSERT_TRUE(plugin.instance->set_param(kGain, 0.25).ok());
    const std::string bad_component("OVV3\x02\0\0\0xx\0\0\0\0", 14);
    struct Case {
        const char* name;
        std::string bytes;
        std::string error;
    };
    const Case cases[] = {
        {"too short", std::string("OVV3\0\0\0\0\0\0\0", 11), "the saved VST3 state is damaged"},
        {"other magic", std::string("VST3\0\0\0\0\0\0\0\0", 12), "the saved VST3 state is damaged"},
        {"component past the end", std::string("OVV3\x09\0\0\0\0\0\0\0", 12), "the saved VST3 state is damaged"},
        {"refused by the component", bad_component, "the plugin refused its saved state"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto loaded = plugin.instance->load_state(std::vector<std::uint8_t>(c.bytes.begin(), c.bytes.end()));
        ASSERT_FALSE(loaded.ok());
        EXPECT_EQ(loaded.error(), c.error);
    }
    // A refused state leaves the controller as it was.
    EXPECT_EQ(plugin.instance->params()[0].value, 0.25);

    LoadedPlugin no_save = load(kNoSave, 2, kFailing);
    auto saved = no_save.instance->save_state();
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error(), "the plugin would not save its state");
}

TEST(Vst3Editor, OperationsWithoutAWindow) {
    struct Case {
        unsigned tag;
        bool has_editor;
        std::string open_error;
    };
    const Case cases[] = {
        {kSideChain, false, "the plugin's window does not support Windows"},
        {kBlock512, true, "the plugin could not open its window"},
        {kManyParams, false, "this plugin has no window of its own"},
        {kBare, false, "this plugin has no window of its own"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        LoadedPlugin plugin = load(c.tag);
        EXPECT_EQ(plugin.instance->has_editor(), c.has_editor);
        auto opened = plugin.instance->open_editor(nullptr);
        ASSERT_FALSE(opened.ok());
        EXPECT_EQ(opened.error(), c.open_error);
        plugin.instance->close_editor();
        plugin.instance->editor_resized(300, 200);
        EXPECT_TRUE(poll(*plugin.instance).empty());
    }
}

TEST(Vst3Editor, ViewsInARealParentWindow) {
    std::string why_not;
    ovtest::XvfbServer* server = ovtest::shared_xvfb(why_not);
    if (server == nullptr) GTEST_SKIP() << why_not;
    ovtest::ScopedDisplay display(server->display());
    auto client = ovtest::XTestClient::open(server->display());
    ASSERT_TRUE(client);
    const ovtest::XWindowId parent = client->create_window(0, 0, 800, 600);
    auto* parent_handle = reinterpret_cast<WindowHandle>(static_cast<std::uintptr_t>(parent));

    struct Case {
        unsigned tag;
        EditorSize size;
    };
    const Case cases[] = {
        {kGainSingle, {320, 200}},
        {kGainSplit, {100, 60}},    // the view reports 50 x 20
        {kStereoOnly, {640, 400}},  // the view's getSize fails
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        LoadedPlugin plugin = load(c.tag);
        EXPECT_TRUE(plugin.instance->has_editor());
        auto opened = plugin.instance->open_editor(parent_handle);
        ASSERT_TRUE(opened.ok()) << opened.error();
        EXPECT_EQ(opened->width, c.size.width);
        EXPECT_EQ(opened->height, c.size.height);
        // The view's window comes over its own connection: wait for it rather than race it.
        EXPECT_TRUE(client->wait_children(parent, 1));
        plugin.instance->close_editor();
        EXPECT_TRUE(client->wait_children(parent, 0));
    }

    // The view asks its frame for a size: the next poll reports it and the child follows.
    LoadedPlugin plugin = load(kGainSingle);
    ASSERT_TRUE(plugin.instance->open_editor(parent_handle).ok());
    ASSERT_TRUE(client->wait_children(parent, 1));
    const auto children = client->children(parent);
    ASSERT_EQ(children.size(), 1u);
    ASSERT_TRUE(plugin.instance->set_param(kViewSize, 0.5).ok());
    auto notices = poll(*plugin.instance);
    ASSERT_EQ(notices.size(), 1u);
    const auto resize = std::get<notice::EditorResize>(notices[0]);
    EXPECT_EQ(resize.width, 500u);
    EXPECT_EQ(resize.height, 300u);
    EXPECT_TRUE(client->wait_size(children[0], 500, 300));
    // The host window's size reaches the view, within the view's limits (at least 120 x 80).
    plugin.instance->editor_resized(400, 50);
    EXPECT_TRUE(client->wait_size(children[0], 400, 80));
    // Opening again replaces the view.
    ASSERT_TRUE(plugin.instance->open_editor(parent_handle).ok());
    EXPECT_TRUE(client->wait_children(parent, 1));
    plugin.instance.reset();  // teardown removes the view
    EXPECT_TRUE(client->wait_children(parent, 0));
    client->destroy_window(parent);
}

}  // namespace
}  // namespace ovhost
