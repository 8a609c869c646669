#include "core/settings_store.h"

#include <mutex>
#include <system_error>

#include "core/app_log.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/file_ops.h"
#include "platform/folders.h"
#include "platform/text.h"

namespace vesk {
namespace fs = std::filesystem;

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += char(cp);
  } else if (cp < 0x800) {
    out += char(0xC0 | (cp >> 6));
    out += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += char(0xE0 | (cp >> 12));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  } else {
    out += char(0xF0 | (cp >> 18));
    out += char(0x80 | ((cp >> 12) & 0x3F));
    out += char(0x80 | ((cp >> 6) & 0x3F));
    out += char(0x80 | (cp & 0x3F));
  }
}

// Unpaired surrogates become U+FFFD; an odd last byte is ignored.
std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t i) {
    return uint32_t(uint8_t(bytes[2 * i])) | (uint32_t(uint8_t(bytes[2 * i + 1])) << 8);
  };
  for (size_t i = 0; i < units; ++i) {
    const uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
      const uint32_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool IsValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) len = 2, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, cp = c & 0x07;
    else return false;
    if (i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k) {
      const uint8_t cc = uint8_t(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += len;
  }
  return true;
}

std::string DecodeSettingsBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && uint8_t(bytes[0]) == 0xFF && uint8_t(bytes[1]) == 0xFE)
    return Utf16LeToUtf8(bytes.substr(2));
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  AnsiCodePageToUtf8(bytes, out);
  return out;
}

std::vector<IniPair> ParseSettingsText(std::string_view text) {
  std::vector<IniPair> pairs;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    while (!line.empty() && (IsBlank(line.front()) || line.front() == '\r')) line.remove_prefix(1);
    while (!line.empty() && (IsBlank(line.back()) || line.back() == '\r')) line.remove_suffix(1);
    if (line.empty() || line.front() == '[' || line.front() == ';' || line.front() == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view key = line.substr(0, eq);
    std::string_view value = line.substr(eq + 1);
    while (!key.empty() && IsBlank(key.back())) key.remove_suffix(1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    if (key.empty()) continue;
    pairs.emplace_back(std::string(key), std::string(value));
  }
  return pairs;
}

std::string SerializeSettings(const std::vector<IniPair>& pairs) {
  std::string out = "\xEF\xBB\xBF[VeskRecorder]\r\n";
  for (const IniPair& p : pairs) out += p.first + "=" + p.second + "\r\n";
  return out;
}

void IniStore::Load() {
  loaded_ = true;
  pairs_.clear();
  loadFailure_.clear();
  File file;
  if (!file.OpenRead(file_)) {
    std::error_code ec;
    const auto status = std::filesystem::status(file_, ec);
    if (status.type() != std::filesystem::file_type::not_found)
      RefuseSaving("打不开（不是普通文件，或没有读权限）");
    return;
  }
  const int64_t size = file.Size();
  if (size == 0) return;
  if (size < 0 || size > int64_t(kSettingsMaxBytes)) {
    RefuseSaving(size < 0 ? std::string("读不出大小") : Format("超过 %u 字节的上限", unsigned(kSettingsMaxBytes)));
    return;
  }
  std::string bytes(size_t(size), '\0');
  const int64_t got = file.Read(bytes.data(), bytes.size());
  if (got != size) {
    RefuseSaving("读取出错");
    return;
  }
  LoadFromBytes(bytes);
}

void IniStore::RefuseSaving(const std::string& reason) {
  loadFailure_ = reason;
  AppLog("[ini] 设置文件 %s %s：本次运行用默认设置，不会写回这个文件（以免覆盖里面的设置）。",
         PathToUtf8(file_).c_str(), reason.c_str());
}

void IniStore::LoadFromBytes(std::string_view bytes) {
  loaded_ = true;
  pairs_ = ParseSettingsText(DecodeSettingsBytes(bytes));
}

const IniPair* IniStore::Find(std::string_view key) const {
  for (const IniPair& p : pairs_)
    if (EqualsNoCase(p.first, key)) return &p;
  return nullptr;
}

IniPair* IniStore::Find(std::string_view key) {
  for (IniPair& p : pairs_)
    if (EqualsNoCase(p.first, key)) return &p;
  return nullptr;
}

bool IniStore::Has(std::string_view key) const { return Find(key) != nullptr; }

int IniStore::GetInt(std::string_view key, int fallback) const {
  const IniPair* p = Find(key);
  if (!p || p->second.empty()) return fallback;
  return int(ParseLong32(p->second));
}

std::string IniStore::GetString(std::string_view key) const {
  const IniPair* p = Find(key);
  return p ? p->second : std::string();
}

void IniStore::SetString(std::string_view key, std::string_view value) {
  auto breaksLine = [](std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; };
  if (key.empty() || breaksLine(key) || key.find('=') != std::string_view::npos || breaksLine(value)) return;
  IniPair* found = Find(key);
  if (found) found->second = std::string(value);
  else pairs_.emplace_back(std::string(key), std::string(value));
  if (batchDepth_ > 0) dirty_ = true;
  else Save();
}

void IniStore::SetInt(std::string_view key, int value) { SetString(key, Format("%d", value)); }

void IniStore::EndBatch() {
  if (batchDepth_ > 0 && --batchDepth_ == 0 && dirty_) {
    dirty_ = false;
    Save();
  }
}

bool IniStore::Save() const {
  if (file_.empty() || !loadFailure_.empty()) return false;
  return ReplaceFileContents(file_, SerializeSettings(pairs_));
}

IniStore& AppSettings() {
  static std::once_flag once;
  static IniStore* store = nullptr;
  std::call_once(once, [] {
    store = new IniStore(DataFolder() / "VeskRecorder.ini");
    store->Load();
  });
  return *store;
}

int GetIniInt(std::string_view key, int fallback) { return AppSettings().GetInt(key, fallback); }
std::string GetIniString(std::string_view key) { return AppSettings().GetString(key); }
void SetIniString(std::string_view key, std::string_view value) { AppSettings().SetString(key, value); }
void SetIniInt(std::string_view key, int value) { AppSettings().SetInt(key, value); }

}  // namespace vesk
