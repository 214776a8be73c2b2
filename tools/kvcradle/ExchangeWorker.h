#pragma once

namespace kv {

// The process of one exchange, as the cradle starts it:
//   kvcradle --exchange-worker FOLDER --exchange-device N --work-seconds S
// with the ERP's launch string in KVCONTROL_LAUNCH. It leaves FOLDER/report.json and exits 0;
// anything else tells the cradle it failed. It ends with the cradle that started it.
bool isExchangeWorker(int argc, char** argv);
int exchangeWorkerMain(int argc, char** argv);

} // namespace kv
