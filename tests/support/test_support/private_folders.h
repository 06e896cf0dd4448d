// A fresh data folder and runtime folder for one test, set in the environment for this
// process and the programs it starts, so that tests never see each other or the user's data.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vantry::test {

class PrivateFolders {
public:
    PrivateFolders()
    {
        char pattern[] = "/tmp/vantry-test-XXXXXX";
        if (::mkdtemp(pattern))
            root_ = pattern;
        std::filesystem::create_directories(root_ / "data");
        std::filesystem::create_directories(root_ / "run");
        std::filesystem::permissions(root_ / "run", std::filesystem::perms::owner_all);
        ::setenv("VANTRY_DATA_DIR", data().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root_ / "run").c_str(), 1);
    }
    ~PrivateFolders()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    PrivateFolders(const PrivateFolders&) = delete;
    PrivateFolders& operator=(const PrivateFolders&) = delete;

    std::string root() const { return root_.string(); }
    std::string data() const { return (root_ / "data").string(); }
    std::string file(const std::string& name) const { return data() + "/" + name; }
    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(file(name), std::ios::binary | std::ios::trunc) << text;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
};

} // namespace vantry::test
