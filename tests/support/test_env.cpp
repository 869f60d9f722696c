#include "test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vurtest
{
namespace
{
std::string sandbox;

std::string randomSuffix()
{
    std::random_device rd;
    return std::to_string (rd()) + std::to_string (rd() & 0xffff);
}
} // namespace

const std::string& sandboxDir() { return sandbox; }

void setEnv (const char* name, const std::string& value)
{
#ifdef _WIN32
    // The values are UTF-8, as the program's own texts; the narrow call would read them in the code page.
    const std::wstring wideName = fs::u8path (name).wstring();
    _wputenv_s (wideName.c_str(), fs::u8path (value).wstring().c_str());
#else
    setenv (name, value.c_str(), 1);
#endif
}

void unsetEnv (const char* name)
{
#ifdef _WIN32
    _putenv_s (name, "");
#else
    unsetenv (name);
#endif
}

ScopedEnv::ScopedEnv (const char* variableName, const std::optional<std::string>& value) : name (variableName)
{
    if (const char* old = std::getenv (name))
        saved = old;
    set (value);
}

ScopedEnv::~ScopedEnv() { set (saved); }

void ScopedEnv::set (const std::optional<std::string>& value)
{
    if (value)
        setEnv (name, *value);
    else
        unsetEnv (name);
}

std::string setTempDir (const std::string& path)
{
    const char* old = std::getenv ("TMPDIR");
    std::string previous = old != nullptr ? old : "";
    for (const char* name : { "TMPDIR", "TMP", "TEMP" })
        setEnv (name, path);
    return previous;
}

std::string makeTempDir (const std::string& stem)
{
    for (;;)
    {
        fs::path dir = fs::path (sandbox) / "work" / (stem + "-" + randomSuffix());
        if (fs::create_directories (dir))
            return dir.string();
    }
}

std::string readTextFile (const std::string& path)
{
    std::string text = readFile (path);
#ifdef _WIN32
    std::string out;
    out.reserve (text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (! (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    text.swap (out);
#endif
    return text;
}

void writeFile (const std::string& path, const std::string& content)
{
    std::ofstream out (fs::u8path (path), std::ios::binary | std::ios::trunc);
    if (! out)
        throw std::runtime_error ("cannot write " + path);
    out << content;
}

std::string readFile (const std::string& path)
{
    std::ifstream in (fs::u8path (path), std::ios::binary);
    return std::string (std::istreambuf_iterator<char> (in), std::istreambuf_iterator<char>());
}

namespace
{
bool ownsSandbox = true;
} // namespace

void setUpSandbox()
{
    // A death-test child started afresh works in its parent's sandbox.
    if (const char* inherited = std::getenv ("VUR_TEST_SANDBOX"); inherited != nullptr && fs::is_directory (inherited))
    {
        sandbox = inherited;
        ownsSandbox = false;
        return;
    }

    const char* base = std::getenv ("VUR_TEST_ROOT");
    fs::path root = base != nullptr ? fs::path (base) : fs::temp_directory_path();
    fs::path dir;
    do
        dir = root / ("vur-test-" + randomSuffix());
    while (! fs::create_directories (dir));

    sandbox = dir.string();
    fs::create_directories (dir / "tmp");
    fs::create_directories (dir / "home");
    fs::create_directories (dir / "cfg");
    fs::create_directories (dir / "work");
    setTempDir ((dir / "tmp").string());
    setEnv ("HOME", (dir / "home").string());
    setEnv ("VUR_CONFIG_DIR", (dir / "cfg").string());
    setEnv ("VUR_TEST_SANDBOX", sandbox);
}

void tearDownSandbox()
{
    if (ownsSandbox && std::getenv ("VUR_KEEP_TEST_FILES") == nullptr && ! sandbox.empty())
    {
        std::error_code ec;
        fs::remove_all (sandbox, ec);
    }
}
} // namespace vurtest

namespace vurtest
{
std::size_t count_of (const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    if (part.empty())
        return n;
    for (auto at = text.find (part); at != std::string::npos; at = text.find (part, at + part.size()))
        ++n;
    return n;
}
} // namespace vurtest
