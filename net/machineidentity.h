#pragma once
// The machine's identity on Linux: the serial number and the platform UUID
// that the server client keeps, derived one-way from the machine id
// (/etc/machine-id through Qt) so that the id itself never leaves the
// machine and the two values cannot be traced to each other.

#include <QByteArray>
#include <QString>

#include <functional>

namespace machineidentity {

// Reads the machine id; empty when the machine has none.
using Source = std::function<QByteArray()>;
Source systemSource();

// Twelve upper-case hexadecimal characters, or "errorNoSerialNumberObtained"
// without a machine id.
QString platformSerial(const QByteArray& machineId);

// A UUID text of 36 characters (8-4-4-4-12, upper case), or
// "errorNoUUIDobtained" without a machine id.
QString platformUuid(const QByteArray& machineId);

}  // namespace machineidentity
