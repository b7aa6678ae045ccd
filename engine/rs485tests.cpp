#include "serialclass.h"

// SCAFFOLDING: the RS485 converter tests get their bodies with the engine work.
bool serialclass::MODBUS485_Test01(QString Passwort) { Q_UNUSED(Passwort); return false; }
bool serialclass::MODBUS485_Test02(QString Passwort) { Q_UNUSED(Passwort); return false; }
bool serialclass::MODBUS485_Test03(QString Passwort) { Q_UNUSED(Passwort); return false; }
bool serialclass::MODBUS485_Test04(QString Passwort) { Q_UNUSED(Passwort); return false; }
