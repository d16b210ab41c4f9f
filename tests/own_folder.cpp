// ctest runs test processes side by side, and log.txt in a folder belongs to the first process
// that opens it: each test process works in a scratch folder of its own, gone when it ends.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct OwnFolder {
    std::filesystem::path path;

    OwnFolder()
    {
        std::error_code error;
        std::string name = (std::filesystem::temp_directory_path(error) / "vesiclar-test-XXXXXX").string();
        if (!error && mkdtemp(name.data()) && chdir(name.c_str()) == 0)
            path = name;
    }
    // The log, made on first use, is closed by now: it was made after this folder.
    ~OwnFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
} gOwnFolder;

}  // namespace
