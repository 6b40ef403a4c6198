#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <optional>
#include <span>

// The Multicom session frames as pure functions over bytes: ASCII frames
// between STX and ETX, hex pairs and words, the 16-bit sum field, and the
// scrambling of hex pairs with the session key. Nothing here touches a socket,
// and no function reads outside the span it is given.
namespace Multicom {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
// The largest frame read; 64 bytes are dropped before they get here.
constexpr int kBufferSize = 64;

// Offsets of a message frame (event or heartbeat).
constexpr int kOffScrambled = 7;
constexpr int kEventScrambledChars = 28;
constexpr int kHeartbeatScrambledChars = 8;
constexpr int kEventFrameLength = 40;
constexpr int kHeartbeatFrameLength = 20;
constexpr int kMinMessageLength = 8;
constexpr int kMacKeyLength = 6;

// Frame lengths of the server's frames.
constexpr int kChallengeLength = 20;
constexpr int kCallbackCommandLength = 23;
constexpr int kLineSwitchLength = 7;

// A hex digit as the devices decode it: a character up to "9" as a decimal
// digit, any other as a letter digit ("A" is 10); lower case is not decoded
// (it gives a value beyond 15, as the devices do).
int hexDigit(char c);
quint8 hexPair(const char* pair);
void writeHexPair(quint8 value, char* out);
void writeHexWord(quint16 value, char* out);

// The 16-bit arithmetic sum of the bytes.
quint16 sum(std::span<const char> bytes);
// The received sum field, read like "%4X": up to four hexadecimal digits in
// either case (reading stops at the first other character); none without a digit.
std::optional<quint16> readSumField(std::span<const char> field);

// XORs each of the pairCount hex pairs at text with key byte i: the key's
// most significant byte first, then again from the top. Its own inverse.
void scramble(char* text, int pairCount, quint32 key);

// The server's frames.
QByteArray challengeFrame(quint8 indexA, quint8 indexB, const QByteArray& peerAddressHex);
QByteArray acknowledgeFrame();
QByteArray commandWaitingFrame();
QByteArray negativeFrame();
QByteArray endFrame();
// The callback command: "C", the challenge text, the address octets and the
// port, 12 characters scrambled with the key, the sum over bytes 1 to 17.
QByteArray callbackCommandFrame(const std::array<char, 4>& challenge, const std::array<quint8, 4>& address,
                                quint16 port, quint32 key);
// The line switch: the minutes and their complement as hex pairs.
QByteArray lineSwitchFrame(quint8 minutes);

// The device's frames (for the device simulator and the tests): the register
// frame, and the event and heartbeat frames scrambled with the session key.
QByteArray registerFrame();
struct EventToSend {
    QByteArray macKey; // six characters
    quint16 account = 0;
    quint16 code = 0; // qualifier digit and event number, as 1130
    quint16 zone = 0;
    quint8 partition = 0;
    char channelLetter = 'E';
};
QByteArray eventFrame(const EventToSend& event, quint32 key);
QByteArray heartbeatFrame(const QByteArray& macKey, quint8 intervalMinutes, quint32 key);
QByteArray fetchFrame();
QByteArray confirmFrame();
QByteArray deviceAcknowledgeFrame();

// Whether one read holds a whole frame: STX first and ETX last. Anything else
// (a stray byte, a frame cut short) is answered negatively and keeps no
// session alive.
bool isCompleteFrame(std::span<const char> frame);

// Whether the sum field of a message frame (the four bytes before ETX) holds
// the sum of bytes 1 to n-6.
bool hasValidSum(std::span<const char> frame);

// The fields of an event, read from an unscrambled frame at fixed offsets
// within the 64-byte buffer (a short frame reads what the buffer holds).
struct EventFields {
    std::array<char, kMacKeyLength> macKey{};
    quint16 account = 0;
    quint16 code = 0;
    quint16 zone = 0;
    quint8 partition = 0;
    int channel = 0;
};
EventFields readEventFields(const std::array<char, kBufferSize>& buffer);

struct HeartbeatFields {
    std::array<char, kMacKeyLength> macKey{};
    quint8 intervalMinutes = 0;
};
HeartbeatFields readHeartbeatFields(const std::array<char, kBufferSize>& buffer);

} // namespace Multicom
