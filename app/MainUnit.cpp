#include "app/MainUnit.h"

#include "fetch/HttpClient.h"

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {}

TfrmMain::~TfrmMain() = default;
