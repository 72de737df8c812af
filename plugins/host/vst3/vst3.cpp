#include "vst3/vst3.h"

#include <cstring>

#include "platform/dynamic_library.h"
#include "platform/file_kind.h"
#include "platform/vst3_module.h"
#include "vst3/abi.h"
#include "vst3/objects.h"

namespace ovhost {

using namespace vst3;

namespace {

// The bundle's stem: its last path component cut at the last "." (a leading dot alone does
// not count, "Foo.vst3" gives "Foo").
std::string bundle_stem(const std::string& bundle) {
    std::size_t end = bundle.size();
    while (end > 0 && ovplat::is_path_separator(bundle[end - 1])) --end;
    std::size_t begin = end;
    while (begin > 0 && !ovplat::is_path_separator(bundle[begin - 1])) --begin;
    const std::string name = bundle.substr(begin, end - begin);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name;
    return name.substr(0, dot);
}

std::string join(std::string base, const std::string& part) {
    if (base.empty() || !ovplat::is_path_separator(base.back())) base += ovplat::kPathSeparator;
    return base + part;
}

Outcome<std::shared_ptr<Vst3Module>> module_failure(std::string message) {
    return Outcome<std::shared_ptr<Vst3Module>>::failure(std::move(message));
}

}  // namespace

Vst3Module::~Vst3Module() {
    if (factory != nullptr) factory->release();
}

std::string vst3_module_file(const std::string& path) {
    if (ovplat::file_kind(path, true) != ovplat::FileKind::directory) return path;
    return join(join(join(path, "Contents"), ovplat::kVst3BundleArchFolder),
                bundle_stem(path) + ovplat::kVst3BundleBinaryExtension);
}

Outcome<std::shared_ptr<Vst3Module>> load_vst3_module(const std::string& path) {
    const std::string file = vst3_module_file(path);
    if (ovplat::file_kind(file, false) != ovplat::FileKind::regular_file)
        return module_failure(path + " is not a VST3 module (no " + file + ")");
    std::string error;
    ovplat::LibraryHandle library = ovplat::load_library(file, error);
    if (library == nullptr) return module_failure("could not load " + file + " (" + error + ")");
    // The library stays loaded from here on, whatever happens: code of it may already run.
    if (ovplat::run_vst3_module_init(library) == ovplat::ModuleInitResult::failed)
        return module_failure("the plugin's InitDll failed");
    auto get_factory = reinterpret_cast<GetFactoryProc>(ovplat::library_symbol(library, "GetPluginFactory"));
    if (get_factory == nullptr) return module_failure("not a VST3 module (no GetPluginFactory)");
    IPluginFactory* factory = get_factory();
    if (factory == nullptr) return module_failure("the plugin returned no factory");
    return std::make_shared<Vst3Module>(factory, library);
}

std::vector<Vst3ClassRecord> list_vst3_classes(const Vst3Module& module) {
    std::vector<Vst3ClassRecord> records;
    IPluginFactory* factory = module.factory;
    PFactoryInfo factory_info{};
    std::string factory_vendor;
    if (factory->getFactoryInfo(&factory_info) == kResultOk)
        factory_vendor = fixed_text(factory_info.vendor, sizeof factory_info.vendor);
    auto factory2 = query<IPluginFactory2>(factory, kIPluginFactory2Iid);
    const std::int32_t count = factory->countClasses();
    const std::size_t category_length = std::strlen(kAudioEffectCategory);
    for (std::int32_t index = 0; index < count; ++index) {
        PClassInfo info{};
        if (factory->getClassInfo(index, &info) != kResultOk) continue;
        const bool audio_effect = std::memcmp(info.category, kAudioEffectCategory, category_length) == 0 &&
                                  (category_length == sizeof info.category || info.category[category_length] == 0);
        if (!audio_effect) continue;
        Vst3ClassRecord record;
        record.name = fixed_text(info.name, sizeof info.name);
        std::memcpy(record.cid.data(), info.cid, 16);
        record.vendor = factory_vendor;
        PClassInfo2 info2{};
        if (factory2 && factory2->getClassInfo2(index, &info2) == kResultOk) {
            std::string vendor = fixed_text(info2.vendor, sizeof info2.vendor);
            if (!vendor.empty()) record.vendor = std::move(vendor);
            record.version = fixed_text(info2.version, sizeof info2.version);
            record.sub_categories = fixed_text(info2.subCategories, sizeof info2.subCategories);
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string vst3_class_uid(const std::array<std::uint8_t, 16>& cid) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : cid) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

Outcome<std::vector<ScanCandidate>> vst3_scan_candidates(const std::string& path) {
    auto module = load_vst3_module(path);
    if (!module) return Outcome<std::vector<ScanCandidate>>::failure(module.error());
    std::vector<ScanCandidate> candidates;
    for (auto& record : list_vst3_classes(*module.value())) {
        ScanCandidate candidate;
        candidate.name = record.name;
        candidate.uid = vst3_class_uid(record.cid);
        candidate.version = record.version;
        candidate.category = record.sub_categories;
        candidate.create = [shared = module.value(), record](std::uint32_t channels) {
            return create_vst3_plugin(shared, record, channels);
        };
        candidates.push_back(std::move(candidate));
    }
    return candidates;
}

Outcome<LoadedPlugin> load_vst3_slot_plugin(const std::string& path, const std::string& uid,
                                            std::uint32_t rack_channels) {
    auto module = load_vst3_module(path);
    if (!module) return Outcome<LoadedPlugin>::failure(module.error());
    const auto cid = parse_vst3_class_id(uid);
    if (!cid) return Outcome<LoadedPlugin>::failure(not_a_vst3_class_id_message(uid));
    for (const auto& record : list_vst3_classes(*module.value()))
        if (record.cid == *cid) return create_vst3_plugin(module.value(), record, rack_channels);
    return Outcome<LoadedPlugin>::failure("the module no longer has that plugin");
}

}  // namespace ovhost
