#pragma once
// Test fixtures that give the client a known environment: a temporary roaming folder in
// APPDATA and no ORVIA_API_* variables, all restored afterwards.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

namespace ovctl::testing {

// Sets or removes environment variables and puts the old values back when destroyed.
class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
    ~ScopedEnvironment() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

    void set(const std::string& name, const std::string& value) {
        save(name);
        ::setenv(name.c_str(), value.c_str(), 1);
    }

    void unset(const std::string& name) {
        save(name);
        ::unsetenv(name.c_str());
    }

private:
    void save(const std::string& name) {
        if (saved_.count(name)) return;
        const char* value = std::getenv(name.c_str());
        saved_[name] = value ? std::optional<std::string>(value) : std::nullopt;
    }

    std::map<std::string, std::optional<std::string>> saved_;
};

// A fresh temporary folder, removed with everything in it when destroyed.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ovctl-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

    // Writes the bytes to a file below the folder, creating its folders.
    std::filesystem::path write(const std::filesystem::path& relative, const std::string& bytes) const {
        const auto file = path_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }

private:
    std::filesystem::path path_;
};

// The client's view of the system: APPDATA is an empty temporary folder (write Orvia's
// settings file with `write_settings`) and ORVIA_API_PORT / ORVIA_API_TOKEN are unset.
class IsolatedClientEnvironment {
public:
    IsolatedClientEnvironment() {
        environment.set("APPDATA", roaming.path().string());
        environment.unset("ORVIA_API_PORT");
        environment.unset("ORVIA_API_TOKEN");
    }

    void write_settings(const std::string& bytes) const { roaming.write("Orvia/settings.json", bytes); }

    TemporaryFolder roaming;
    ScopedEnvironment environment;
};

}  // namespace ovctl::testing
