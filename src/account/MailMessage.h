// One entry of an account's message list: the server's unique id and size,
// the header block once fetched, the whole message once loaded, what the
// filtering rules made of it and the work still pending for it. Reference
// counted: the list holds one reference, and every window a message is
// posted to holds one more until it is done with it.
#pragma once

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/OwnedText.h"
#include "base/RefPtr.h"
#include "mime/HeaderFieldList.h"

namespace pw {

class SettingsTree;
class MimePart;  // a decoded part of the whole message

enum class MessageType : uint32_t { Normal = 0, Spam = 1, Dangerous = 2, Approved = 3, Outgoing = 4 };

// Bits of `state`: what the user and the rules have done with the message.
namespace MessageState {
inline constexpr uint32_t New = 0x1;         // unread
inline constexpr uint32_t CommandRun = 0x2;  // a rule's command already ran for it
inline constexpr uint32_t Saved = 0x4;       // already saved to a file by a rule
}  // namespace MessageState

// Bits of `flags`: work still pending for the message.
namespace MessageFlags {
inline constexpr uint32_t NeedHeader = 0x001;
inline constexpr uint32_t NeedBody = 0x002;
inline constexpr uint32_t Delete = 0x004;
inline constexpr uint32_t Deleted = 0x008;  // the server confirmed; purged at the end of the check
inline constexpr uint32_t RunCommand = 0x010;
inline constexpr uint32_t SaveToFile = 0x020;
inline constexpr uint32_t PlaySound = 0x040;
inline constexpr uint32_t Reevaluate = 0x080;  // rules needed the body: run them again when it arrives
inline constexpr uint32_t FreeBody = 0x100;    // drop the whole message when the check ends
inline constexpr uint32_t SaveIntoFolder = 0x200;
}  // namespace MessageFlags

inline constexpr int32_t kDefaultColor = -1;

class MailMessage {
 public:
  // A fresh record with one reference, owned by the returned pointer.
  static RefPtr<MailMessage> Create(const wchar_t* uidl);
  // Reads one "message#%d" node (already entered); header and body are
  // handed to their parsers.
  static RefPtr<MailMessage> Load(SettingsTree& tree);
  void Save(SettingsTree& tree) const;

  MailMessage(const MailMessage&) = delete;
  MailMessage& operator=(const MailMessage&) = delete;

  ULONG AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount_)); }
  ULONG Release();

  // Null when the server gave none; set once at creation.
  const wchar_t* Uidl() const { return uidl_.Get(); }

  uint32_t State() const { return state_.load(); }
  bool HasState(uint32_t bits) const { return (state_.load() & bits) != 0; }
  void SetState(uint32_t bits) { state_.fetch_or(bits); }
  // Returns the bits that were set before.
  uint32_t ClearState(uint32_t bits) { return state_.fetch_and(~bits); }
  void ReplaceState(uint32_t value) { state_.store(value); }

  uint32_t Flags() const { return flags_.load(); }
  bool HasFlag(uint32_t bits) const { return (flags_.load() & bits) != 0; }
  void SetFlags(uint32_t bits) { flags_.fetch_or(bits); }
  uint32_t ClearFlags(uint32_t bits) { return flags_.fetch_and(~bits); }
  void ReplaceFlags(uint32_t value) { flags_.store(value); }

  MessageType Type() const { return static_cast<MessageType>(type_.load()); }
  void SetType(MessageType t) { type_.store(static_cast<uint32_t>(t)); }
  bool IsOutgoing() const { return Type() == MessageType::Outgoing; }

  // Added during the running check and not yet reported to the windows.
  std::atomic<uint32_t> justArrived{1};
  // Parsed header fields, in header order (name, value).
  HeaderFieldList headerFields;
  // The header block as received (TOP n 0).
  OwnedBytes rawHeader;
  // The whole message (RETR), or the text of an outgoing reply.
  OwnedBytes rawMessage;
  // From the Date field; all zero when there is none.
  SYSTEMTIME date = {};
  // What the matching condition set says about itself.
  OwnedWText filterText;
  std::vector<std::shared_ptr<MimePart>> parts;
  // Set when a listing begins, cleared when the UIDL is listed.
  uint32_t notSeen = 0;
  uint32_t size = 0;
  int32_t color = kDefaultColor;
  int32_t bkColor = kDefaultColor;
  OwnedWText icon;
  OwnedWText savePath;
  OwnedWText command;
  uint32_t commandHidden = 0;
  OwnedWText ruleSound;
  // A queued reply the server refused for good: its line ("550 ..."). Such
  // a reply is kept for the user but never sent again.
  OwnedWText sendError;
  bool SendFailed() const { return sendError.IsSet(); }

 private:
  MailMessage() = default;
  ~MailMessage();

  volatile LONG refCount_ = 1;
  std::atomic<uint32_t> state_{0};
  std::atomic<uint32_t> flags_{0};
  std::atomic<uint32_t> type_{0};
  OwnedWText uidl_;
};

}  // namespace pw
