#pragma once

namespace zorva::plugin::exception {

// The codes of the application error category, each with its message text.
// Every place that raises or tests one of them names it here.
enum class ApplicationCode : int {
    Success = 0,
    General = 20001,
    SessionInterrupted = 20002,
    Cancelled = 20003,
    ModuleNotLoaded = 20004,
    MethodNotFound = 20005,
    DataNotFound = 20006,
    FileIdMissing = 20007,
    FileNameMissing = 20008,
    FileNotFound = 20009,
    UnsupportedConversion = 20010,
    OutputDamaged = 20012,
    NotImplemented = 20013,
    TsaUnreachable = 20014,
    RequestFormat = 20015,
    TsaRefused = 20016,
    TimestampInvalid = 20017,
    TsaOther = 20018,
    DiskFull = 20019,
    ChecksumMismatch = 20020,
    FileTooLargeToSign = 20021,
    MalformedData = 20022,
    ReplyTooLarge = 20023,
    AssemblyFailed = 20024,
    SiteNotApproved = 20025,
    ChunkedLimit = 20026,
};

struct ApplicationCodeText {
    ApplicationCode code;
    const char* text;
};

// The message texts, UTF-8.
inline constexpr ApplicationCodeText applicationCodeTexts[] = {
    {ApplicationCode::Success, "Успешное выполнение операции"},
    {ApplicationCode::General, "Общая ошибка"},
    {ApplicationCode::SessionInterrupted, "Сессия прервана"},
    {ApplicationCode::Cancelled, "Операция отменена пользователем"},
    {ApplicationCode::ModuleNotLoaded, "Модуль не загружен"},
    {ApplicationCode::MethodNotFound, "Не найден метод"},
    {ApplicationCode::DataNotFound, "Данные не найдены"},
    {ApplicationCode::FileIdMissing, "Не задан идентификатор файла"},
    {ApplicationCode::FileNameMissing, "Не задано имя файла"},
    {ApplicationCode::FileNotFound, "Файл не найден"},
    {ApplicationCode::UnsupportedConversion, "Неподдерживаемый механизм конвертации"},
    {ApplicationCode::OutputDamaged, "Выходные данные повреждены"},
    {ApplicationCode::NotImplemented, "Отсутствует реализация"},
    {ApplicationCode::TsaUnreachable, "Ошибка подключения к TSA"},
    {ApplicationCode::RequestFormat, "Ошибка формата запроса"},
    {ApplicationCode::TsaRefused, "Отказ TSA в выдаче штампа времени"},
    {ApplicationCode::TimestampInvalid, "Ошибка при проверке штампа времени"},
    {ApplicationCode::TsaOther, "Неизвестная ошибка при работе с сервером или штампом времени"},
    {ApplicationCode::DiskFull, "Недостаточно свободного места на диске"},
    {ApplicationCode::ChecksumMismatch, "Ошибка сравнения контрольных сумм"},
    {ApplicationCode::FileTooLargeToSign,
     "Превышен максимальный размер файла для подписи заданного типа в 100 Мбайт"},
    {ApplicationCode::MalformedData, "Некорректный формат данных"},
    {ApplicationCode::ReplyTooLarge, "Превышен максимальный размер ответа в 10 Мбайт"},
    {ApplicationCode::AssemblyFailed, "Ошибка при формировании файла"},
    {ApplicationCode::SiteNotApproved, "Сайт не одобрен пользователем"},
    {ApplicationCode::ChunkedLimit, "Превышен лимит данных, передаваемых частями"},
};

constexpr int value(ApplicationCode code) { return static_cast<int>(code); }

}  // namespace zorva::plugin::exception
