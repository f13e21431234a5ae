#include "app/MainUnit.h"

#include "fetch/HttpClient.h"

TfrmMain::TfrmMain(QWidget* parent)
    : QMainWindow(parent), idhtp_(std::make_unique<velbrook::HttpClient>()) {}

TfrmMain::~TfrmMain() = default;
