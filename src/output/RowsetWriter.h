#pragma once

#include <string>

#include "Stream.h"
#include "dbaccess/DataSet.h"

namespace iqo {

// Writes the result set as a remote data file (an XML rowset document) to the file, which
// is created or overwritten, opened for reading and writing and shared with no other process
// while it is written; it is closed also when writing fails, and then keeps what was written.
// Raises 'Cannot create file "<full path>". <system text>' when the file cannot be created.
void SaveToXML(TDataSet& dataSet, const std::string& fileName);

// Writes the document to the stream, from its current position; the stream stays the
// caller's. A closed result set is opened for the write and closed again; an active one is
// back on its row afterwards, also when the write fails.
void SaveToXML(TDataSet& dataSet, TStream& destination);

}  // namespace iqo
