// DAO's field type numbers, attribute bits and recordset options, with the values
// callers rely on.
#pragma once

namespace jet {

enum dao_type : int {
  dbBoolean = 1,
  dbByte = 2,
  dbInteger = 3,
  dbLong = 4,
  dbCurrency = 5,
  dbSingle = 6,
  dbDouble = 7,
  dbDate = 8,
  dbBinary = 9,
  dbText = 10,
  dbLongBinary = 11,
  dbMemo = 12,
  dbGUID = 15,
  dbBigInt = 16,
  dbVarBinary = 17,
  dbChar = 18,
  dbNumeric = 19,
  dbDecimal = 20,
  dbFloat = 21,
  dbTime = 22,
};

// Field attributes.
constexpr long dbFixedField = 0x1;
constexpr long dbVariableField = 0x2;
constexpr long dbAutoIncrField = 0x10;
constexpr long dbUpdatableField = 0x20;

// TableDef attributes.
constexpr long dbAttachedTable = 0x40000000;
constexpr long dbSystemObject = static_cast<long>(0x80000002u);

// Recordset types and options.
constexpr int dbOpenTable = 1;
constexpr int dbOpenDynaset = 2;
constexpr int dbOpenSnapshot = 4;
constexpr int dbDenyWrite = 1;
constexpr int dbReadOnly = 4;
constexpr int dbAppendOnly = 8;

}  // namespace jet
