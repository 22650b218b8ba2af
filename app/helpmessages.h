// Messages of the help tools for the codes the read-back services return; kept apart from the
// slots so that every row of the tables can be checked, including codes no service returns today.
#pragma once

#include <QString>

// Verify: one message per code 0..6, "other error" for every other code, -1 included.
QString verifyMessage(int code);
// MD5 and CRC-32 failures (codes 1..5 and -1); an empty string for codes that show no box.
QString readBackFailureMessage(int code);
