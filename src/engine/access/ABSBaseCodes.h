// Native error codes of the metadata definitions: the checks of the definition lists and
// conversions, and one code per item of the table metadata record for a short write and a
// short read.
#pragma once

#include <cstdint>

#include "engine/access/ABSBaseMetaStream.h"

namespace tabshift::meta_code {

// Checks, by message.
inline constexpr int32_t kUnsupportedDataType = 30007;            // "Unsupported data type '%s'"
inline constexpr int32_t kDuplicateFieldName = 10424;             // "Duplicate field name %s"
inline constexpr int32_t kConstraintNotImplemented = 30035;       // "Not implemented yet"
inline constexpr int32_t kConstraintToAdvNotImplemented = 30039;  // "Not implemented yet"
inline constexpr int32_t kCheckFieldNotFound = 30031;             // "Field #%d not found"
inline constexpr int32_t kNotNullFieldNotFound = 30032;           // "Field #%d not found"
inline constexpr int32_t kMethodNotOverridden = 30339;  // "The method '%s' not overrided..."
inline constexpr int32_t kInvalidIndexName = 20048;     // "Invalid index name '%s'"
inline constexpr int32_t kNoIndexFields = 20049;        // "Cannot find index field '%s'"
inline constexpr int32_t kUnknownIndexField = 20050;    // "Cannot find index field '%s'"
inline constexpr int32_t kUnknownConstraintType = 30316;
inline constexpr int32_t kAutoincMaxExceeded =
    20160;  // "Autoinc max value exceeded for..."  // "Unknown Constraint Type: '%d'"

// Items shared by the lists: the count and the base members of every definition.
inline constexpr int32_t kWriteCount = 10158;
inline constexpr int32_t kReadCount = 10159;
inline constexpr NameCodes kWriteName{10164, 10165};
inline constexpr NameCodes kReadName{10166, 10167};
inline constexpr int32_t kWriteObjectID = 10168;
inline constexpr int32_t kReadObjectID = 10169;

// Field definitions.
inline constexpr int32_t kWriteBaseType = 10170;
inline constexpr int32_t kReadBaseType = 10187;
inline constexpr int32_t kWriteAdvancedType = 10171;
inline constexpr int32_t kReadAdvancedType = 10188;
inline constexpr int32_t kWriteSize = 10172;
inline constexpr int32_t kReadSize = 10189;
inline constexpr int32_t kWriteBlobAlgorithm = 10175;
inline constexpr int32_t kReadBlobAlgorithm = 10192;
inline constexpr int32_t kWriteBlobMode = 10176;
inline constexpr int32_t kReadBlobMode = 10193;
inline constexpr int32_t kWriteBlobBlockSize = 10177;
inline constexpr int32_t kReadBlobBlockSize = 10194;
// Increment, initial, minimum, maximum.
inline constexpr int32_t kWriteAutoinc[4] = {30412, 30413, 30414, 30415};
inline constexpr int32_t kReadAutoinc[4] = {30407, 30408, 30409, 30410};
inline constexpr int32_t kWriteAutoincCycled = 30416;
inline constexpr int32_t kReadAutoincCycled = 30411;

// Index definitions.
inline constexpr int32_t kWriteIndexCount = 10343;
inline constexpr int32_t kWriteIndexKind = 10344;
inline constexpr int32_t kReadIndexKind = 10349;
inline constexpr int32_t kWriteUnique = 10345;
inline constexpr int32_t kReadUnique = 10350;
inline constexpr int32_t kWritePrimary = 10346;
inline constexpr int32_t kReadPrimary = 10351;
inline constexpr int32_t kWriteColumnCount = 10347;
inline constexpr int32_t kReadColumnCount = 10352;
inline constexpr int32_t kWriteRootPageNo = 10348;
inline constexpr int32_t kReadRootPageNo = 10353;
inline constexpr NameCodes kWriteColumnName{10354, 10355};
inline constexpr NameCodes kReadColumnName{10358, 10359};
inline constexpr int32_t kWriteDescending = 10356;
inline constexpr int32_t kReadDescending = 10360;
inline constexpr int32_t kWriteCaseInsensitive = 10357;
inline constexpr int32_t kReadCaseInsensitive = 10361;
inline constexpr int32_t kWriteMaxIndexedSize = 20169;
inline constexpr int32_t kReadMaxIndexedSize = 20168;

// Constraint definitions: the kind, then per kind the three pair IDs and the three pair names.
inline constexpr int32_t kWriteConstraintKind = 10219;
inline constexpr int32_t kReadConstraintKind = 10220;

struct PairCodes {
  int32_t ids[3];
  NameCodes names[3];
};
inline constexpr PairCodes kWriteNotNullPairs{{10240, 10241, 10242},
                                              {{10243, 10244}, {10245, 10246}, {10247, 10248}}};
inline constexpr PairCodes kReadNotNullPairs{{10249, 10250, 10251},
                                             {{10252, 10253}, {10254, 10255}, {10256, 10257}}};
inline constexpr PairCodes kWriteCheckPairs{{10227, 10228, 10229},
                                            {{10221, 10222}, {10223, 10224}, {10225, 10226}}};
inline constexpr PairCodes kReadCheckPairs{{10230, 10231, 10232},
                                           {{10233, 10234}, {10235, 10236}, {10237, 10238}}};
inline constexpr PairCodes kWriteUniquePairs{{30313, 30314, 30318},
                                             {{30315, 30316}, {30317, 30318}, {30323, 30324}}};
inline constexpr PairCodes kReadUniquePairs{{30303, 30304, 30317},
                                            {{30305, 30306}, {30307, 30308}, {30321, 30322}}};
inline constexpr int32_t kWriteUniqueColumnCount = 30319;
inline constexpr int32_t kReadUniqueColumnCount = 30309;
inline constexpr int32_t kWriteUniqueColumnID = 30320;
inline constexpr int32_t kReadUniqueColumnID = 30310;
inline constexpr NameCodes kWriteUniqueColumnName{30321, 30322};
inline constexpr NameCodes kReadUniqueColumnName{30311, 30312};

}  // namespace tabshift::meta_code
