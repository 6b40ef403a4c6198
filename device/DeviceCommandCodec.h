#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <span>

// The commands the server sends to TaviCom devices and the answers they give,
// as pure functions over bytes: callback, close session, details, line switch
// and PGM toggle. Answers are read only as far as the datagram goes.
namespace DeviceCommand {

constexpr quint8 kCodeCallbackSent = 1; // answer code of an accepted callback
constexpr quint8 kCodeCallback = 2;
constexpr quint8 kCodeDetails = 5;
constexpr quint8 kCodeCloseSession = 15;
constexpr quint8 kCodeLineSwitch = 0x30;
constexpr quint8 kCodePgm = 0x31;

// Codes of refusals (answer type 5).
constexpr quint8 kRefusedNotImplemented = 4;
constexpr quint8 kRefusedParameter = 6;
constexpr quint8 kRefusedBusy = 7;
constexpr quint8 kRefusedCallbackFailed = 10;

constexpr int kCallbackAttempts = 1;
constexpr int kCommandAttempts = 3;
constexpr int kAttemptWaitMs = 5000;
constexpr int kCallbackPayloadLength = 6;
constexpr int kPgmCount = 4;

// Builds and seals a request in buffer: type 4, flags 0x10, the device
// identifier, the sequence, the code, answer kind 2, kind 0 and the payload.
// Returns the number of bytes to send, or -1 when it does not fit.
int buildRequest(std::span<quint8> buffer, quint32 deviceId, quint16 sequence, quint8 code,
                 std::span<const quint8> payload);

// The callback payload: the four octets of a dotted IPv4 address (all 0xFF
// when it is the client's own address text), then the port.
std::array<quint8, kCallbackPayloadLength> callbackPayload(const QString& address, const QString& clientAddress,
                                                           quint16 port);
// A dotted IPv4 address as the callback takes it: at most 15 characters,
// exactly three dots, digits only otherwise, each part 0 to 255.
bool isDottedAddress(const QString& text);

// A device's answer: its type, code and the payload bytes it really carries.
struct Answer {
    quint8 type = 0;
    quint8 code = 0;
    quint16 sequence = 0;
    QByteArray payload;
};
// None when the bytes do not hold a header.
std::optional<Answer> readAnswer(std::span<const quint8> datagram);

// What a details answer says about the device.
struct Details {
    QString model;    // "Tavi-UG Rev. 1.2", "Unknown!"
    QString firmware; // "%d.%d.%d.%d", byte 7 first
    QString password;
    QString mac; // "%02X:..." in byte order
    bool pgmSection = true;
    bool lineSwitch = false; // bit 1 of the model code
    bool cellular = false;   // bit 2 of the model code
    bool in1 = false;
    bool in2 = false;
    std::array<bool, kPgmCount> pgm{};
    int rssi = 0;
};
// Reads a details payload; fields beyond its end read as zero.
Details readDetails(const QByteArray& payload);

// The message (string number) that ends a callback, 0 for none. A busy
// device gives kMsgBusy: the operator may then close its session.
constexpr int kMsgBusy = 150;
int callbackMessage(const std::optional<Answer>& answer);
// The message that ends a PGM toggle of index; *newState is set when the
// toggle was confirmed (then the message is "Executado com sucesso!").
int pgmMessage(const std::optional<Answer>& answer, int index, std::optional<bool>* newState);

} // namespace DeviceCommand
