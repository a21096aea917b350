#include "sim_platform.h"

#include <algorithm>
#include <cctype>
#include <new>
#include <stdexcept>

#include "copy_checks.h"
#include "platform.h"

namespace sim {

namespace {

Machine g_machine;
survin::State g_state;

std::string upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string parentOf(const std::string& path) {
    size_t cut = path.rfind('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// The device a path opens, as DOS finds it: the last name without its extension.
bool namesDevice(const std::string& path) {
    std::string name = upper(path.substr(path.rfind('\\') + 1));
    return g_machine.devices.count(name.substr(0, name.find('.'))) != 0;
}

// A file name DOS can hold: up to 8 characters, optionally one dot and up to 3 more.
bool isDosName(const std::string& name) {
    size_t dot = name.find('.');
    std::string base = name.substr(0, dot);
    std::string ext = dot == std::string::npos ? "" : name.substr(dot + 1);
    return !base.empty() && base.size() <= 8 && ext.size() <= 3 &&
           ext.find('.') == std::string::npos;
}

// Carries out `copy "A" "B" /Y` on the simulated disk as the interpreter would.
void interpret(const std::string& tail) {
    const std::string prefix = "/C copy \"";
    if (tail.compare(0, prefix.size(), prefix) != 0) return;
    size_t endFrom = tail.find('"', prefix.size());
    size_t startTo = tail.find('"', endFrom + 1);
    size_t endTo = tail.find('"', startTo + 1);
    if (endFrom == std::string::npos || startTo == std::string::npos || endTo == std::string::npos)
        return;
    std::string from = upper(tail.substr(prefix.size(), endFrom - prefix.size()));
    std::string to = upper(tail.substr(startTo + 1, endTo - startTo - 1));
    Machine& m = g_machine;
    auto source = m.disk.find(from);
    if (source == m.disk.end() || source->second.directory) return;
    if (!isDosName(to.substr(to.rfind('\\') + 1))) return;  // "Illegal Path."
    auto folder = m.disk.find(parentOf(to));
    if (folder == m.disk.end() || !folder->second.directory) return;
    std::string bytes = source->second.bytes;
    if (m.copyMode == CopyMode::Nothing) return;
    if (m.copyMode == CopyMode::Truncate) bytes.resize(bytes.size() / 2);
    if (m.copyMode == CopyMode::Garble && !bytes.empty()) bytes[bytes.size() / 2] ^= 0x20;
    Entry& target = m.disk[to];
    target.bytes = bytes;
}

}  // namespace

Machine& machine() { return g_machine; }

survin::State& state() { return g_state; }

void reset() {
    g_machine.~Machine();
    new (&g_machine) Machine();
    for (auto& line : g_machine.screen) {
        for (Cell& cell : line) cell = Cell{' ', 0x07};
    }
    g_machine.env["COMSPEC"] = "C:\\COMMAND.COM";
    addFile("C:\\COMMAND.COM", "interpreter");
}

void addDir(const std::string& path) {
    std::string up = upper(path);
    while (!up.empty() && up.back() == '\\') up.pop_back();
    if (up.size() <= 2) return;  // a drive root is no entry
    addDir(parentOf(up));
    g_machine.disk[up].directory = true;
}

void addFile(const std::string& path, const std::string& bytes, uint8_t attr) {
    std::string up = upper(path);
    addDir(parentOf(up));
    Entry& entry = g_machine.disk[up];
    entry.bytes = bytes;
    entry.attr = attr;
    entry.directory = false;
}

bool exists(const std::string& path) { return g_machine.disk.count(upper(path)) != 0; }

std::string fileBytes(const std::string& path) {
    auto it = g_machine.disk.find(upper(path));
    return it == g_machine.disk.end() ? std::string("<missing>") : it->second.bytes;
}

void typeText(const std::string& chars) {
    for (char c : chars) g_machine.keys.push_back(static_cast<unsigned char>(c));
}

void pressExtended(uint8_t scan) {
    g_machine.keys.push_back(0);
    g_machine.keys.push_back(scan);
}

void pressKey(int key) {
    if (key >= 0x100) {
        pressExtended(uint8_t(key - 0x100));
    } else {
        g_machine.keys.push_back(key);
    }
}

void whenWaiting(std::function<void()> check) {
    g_machine.checkpoints.push_back(std::move(check));
}

std::string row(int y) {
    std::string text;
    for (int x = 0; x < 80; ++x) text += g_machine.screen[y - 1][x].ch;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

uint8_t attrAt(int x, int y) { return g_machine.screen[y - 1][x - 1].attr; }
char charAt(int x, int y) { return g_machine.screen[y - 1][x - 1].ch; }

std::string screenText() {
    std::string all;
    for (int y = 1; y <= 25; ++y) all += row(y) + "\n";
    return all;
}

int runSurvin(bool* keysExhausted, const char* argv0) {
    std::string path = argv0;
    char* argv[2] = {&path[0], nullptr};
    if (keysExhausted) *keysExhausted = false;
    try {
        survin::main(g_state, 1, argv);
    } catch (const Exited& exited) {
        return exited.code;
    } catch (const KeysExhausted&) {
        if (keysExhausted) *keysExhausted = true;
    }
    return -1;
}

std::vector<std::string> commands() {
    std::vector<std::string> list;
    for (const Exec& e : g_machine.execs) {
        list.push_back(e.tail.compare(0, 3, "/C ") == 0 ? e.tail.substr(3) : e.tail);
    }
    return list;
}

}  // namespace sim

namespace dosplat {

using sim::g_machine;

void putCell(int x, int y, char ch, uint8_t attr) {
    if (x < 1 || x > 80 || y < 1 || y > 25) throw std::out_of_range("cell off screen");
    g_machine.screen[y - 1][x - 1] = sim::Cell{ch, attr};
}

char cellChar(int x, int y) { return g_machine.screen[y - 1][x - 1].ch; }
uint8_t cellAttr(int x, int y) { return g_machine.screen[y - 1][x - 1].attr; }

void scrollUp(uint8_t attr) {
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 80; ++x) g_machine.screen[y][x] = g_machine.screen[y + 1][x];
    }
    for (int x = 0; x < 80; ++x) g_machine.screen[24][x] = sim::Cell{' ', attr};
}

void setCursor(int x, int y) {
    g_machine.cursorX = x;
    g_machine.cursorY = y;
}

void getCursor(int* x, int* y) {
    *x = g_machine.cursorX;
    *y = g_machine.cursorY;
}

void showCursor(bool visible) { g_machine.cursorVisible = visible; }

int readKeyByte() {
    while (g_machine.keys.empty() && !g_machine.checkpoints.empty()) {
        auto check = std::move(g_machine.checkpoints.front());
        g_machine.checkpoints.pop_front();
        check();
    }
    if (g_machine.keys.empty()) throw sim::KeysExhausted{};
    int key = g_machine.keys.front();
    g_machine.keys.pop_front();
    return key;
}

int openFile(const char* path) {
    if (sim::namesDevice(path)) {
        int handle = g_machine.nextHandle++;
        g_machine.openDevices.insert(handle);
        return handle;
    }
    auto it = g_machine.disk.find(sim::upper(path));
    if (it == g_machine.disk.end() || it->second.directory) return -1;
    int handle = g_machine.nextHandle++;
    g_machine.openFiles[handle] = {it->second.bytes, 0};
    return handle;
}

int readFile(int handle, char* buffer, int cb) {
    if (g_machine.openDevices.count(handle)) throw sim::ReadFromDevice{};
    auto it = g_machine.openFiles.find(handle);
    if (it == g_machine.openFiles.end()) return -1;
    auto& [bytes, pos] = it->second;
    size_t n = std::min(bytes.size() - pos, size_t(cb));
    std::copy(bytes.begin() + long(pos), bytes.begin() + long(pos + n), buffer);
    pos += n;
    return int(n);
}

void closeFile(int handle) {
    g_machine.openFiles.erase(handle);
    g_machine.openDevices.erase(handle);
}

bool isDevice(const char* path) { return sim::namesDevice(path); }

bool findEntry(const char* path, uint8_t attrMask, uint32_t* size) {
    std::string up = sim::upper(path);
    if (up.empty() || up.back() == '\\') return false;
    if (sim::namesDevice(up)) {
        *size = 0;
        return true;
    }
    auto it = g_machine.disk.find(up);
    if (it == g_machine.disk.end()) return false;
    const sim::Entry& entry = it->second;
    if (entry.directory) {
        if (!(attrMask & 0x10)) return false;
    } else if ((entry.attr & 0x06) & ~attrMask) {
        return false;  // hidden or system, not asked for
    }
    *size = uint32_t(entry.bytes.size());
    return true;
}

bool getEnv(const char* name, char* out, int cch) {
    auto it = g_machine.env.find(name);
    if (it == g_machine.env.end() || int(it->second.size()) >= cch) return false;
    std::copy(it->second.begin(), it->second.end(), out);
    out[it->second.size()] = 0;
    return true;
}

int execProgram(const char* program, const char* tail) {
    // The real layer refuses tails longer than a DOS command line.
    if (std::string(tail).size() > 126) return survin::kErrTooLong;
    if (g_machine.execError) return g_machine.execError;
    if (!sim::exists(program)) return survin::kErrNotFound;
    g_machine.execs.push_back({program, tail});
    sim::interpret(tail);
    return 0;
}

void exitProgram(int code) { throw sim::Exited{code}; }

}  // namespace dosplat
