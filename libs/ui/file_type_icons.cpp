#include "file_type_icons.h"

namespace zorva::plugin::ui {
namespace {

QString icon(const char* name) { return QString(":/file_extension/%1.png").arg(name); }

}  // namespace

const std::map<QString, QString> fileTypeIcons{
    {".avi", icon("avi")},  {".bmp", icon("bmp")},  {".cer", icon("crt")},
    {".crt", icon("crt")},  {".csr", icon("csr")},  {".csv", icon("csv")},
    {".doc", icon("doc")},  {".docx", icon("doc")}, {".docm", icon("doc")},
    {".exe", icon("exe")},  {".flv", icon("flv")},  {".gif", icon("gif")},
    {".gz", icon("gz")},    {".htm", icon("htm")},  {".html", icon("htm")},
    {".jpg", icon("jpg")},  {".jpeg", icon("jpg")}, {".jpe", icon("jpg")},
    {".jfif", icon("jpg")}, {".key", icon("key")},  {".mkv", icon("mkv")},
    {".mov", icon("mov")},  {".mp4", icon("mp4")},  {".mpg", icon("mpg")},
    {".ods", icon("ods")},  {".pcx", icon("pcx")},  {".pdf", icon("pdf")},
    {".png", icon("png")},  {".pps", icon("pps")},  {".ppsx", icon("pps")},
    {".ppt", icon("ppt")},  {".pptx", icon("ppt")}, {".pptm", icon("ppt")},
    {".rar", icon("rar")},  {".rtf", icon("rtf")},  {".run", icon("run")},
    {".sig", icon("sig")},  {".tgz", icon("tgz")},  {".tif", icon("tif")},
    {".tiff", icon("tif")}, {".txt", icon("txt")},  {".xls", icon("xls")},
    {".xlsx", icon("xls")}, {".xlsm", icon("xls")}, {".xml", icon("xml")},
    {".zip", icon("zip")},  {".p7s", icon("unw")},  {".sgn", icon("xml+sig")},
    {"", icon("unw")},      {".unw", icon("unw")},
};

const std::set<QString> stillImageExtensions{".png", ".bmp", ".jpg", ".jpeg"};

const std::set<QString> animatedImageExtensions{".gif", ".mng"};

}  // namespace zorva::plugin::ui
