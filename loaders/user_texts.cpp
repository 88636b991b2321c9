#include "loaders/user_texts.h"

#include "loaders/command_lines.h"
#include "loaders/loader_table.h"

const wchar_t* const HeaderTitleText = L"Telvorn Flash";
const wchar_t* const HeaderSubtitleText = L"Смена загрузчика";
const wchar_t* const MinimizeGlyphText = L"\u2014";
const wchar_t* const CloseGlyphText = L"\u2715";
const wchar_t* const LegacyGroupText = L"LEGACY BIOS";
const wchar_t* const UefiGroupText = L"UEFI";
const wchar_t* const ShutdownBlockText = L"Идёт смена загрузчика. Дождитесь её окончания.";

const wchar_t* const AlreadyRunningText = L"Quillmere уже запущен.";
const wchar_t* const NoInstallerDriveText = L"Не удалось определить диск установщика.";
const wchar_t* const NoDataMarkerText =
    L"Не найден маркер ISO\\Ventoy\\NOT.DEL на разделе DATA.\r\n"
    L"Диск не похож на сборку Telvorn.";

std::wstring NotTelvornDriveText(const std::wstring& installerRoot) {
    return L"Этот диск не является сборкой Telvorn (нет bootice.exe или NOT.DEL):\r\n" +
           installerRoot;
}

std::wstring WindowsDiskText(const std::wstring& installerRoot) {
    return L"Диск " + installerRoot +
           L" находится на системном диске Windows.\r\n"
           L"Загрузчик системного диска Quillmere не меняет.";
}

std::wstring TargetRefusalText(const std::wstring& installerRoot) {
    return L"Целевой диск не подтверждён:\r\n" + installerRoot +
           L"\r\nнет \\efi\\Telvorn\\Boot\\NOT.DEL или не найден PhysicalDrive.";
}

const wchar_t* const MbrWriteFailedPrefix = L"Ошибка записи MBR (код ";
const wchar_t* const PbrWriteFailedPrefix = L"Ошибка записи PBR (код ";
const wchar_t* const CoreWriteFailedPrefix = L"Ошибка записи core.img (код ";
const wchar_t* const MbrScriptFailedPrefix = L"Не удалось сформировать MBR-образ (код ";

std::wstring Grub2SourcesMissingText(const std::wstring& sourceDir) {
    return L"Файлы GRUB2 для Legacy BIOS не найдены:\r\n" + sourceDir;
}

std::wstring GrubConfigMissingText(const std::wstring& configPath) {
    return L"Не найден основной grub.cfg:\r\n" + configPath;
}

std::wstring DiskNumberUnknownText(const std::wstring& installerRoot) {
    return L"Не удалось определить номер физического диска для " + installerRoot;
}

std::wstring CoreImageUnfitText(const std::wstring& path) {
    return L"Файл core.img не подходит (нужно от 1 до " + std::to_wstring(CoreImageSectors) +
           L" секторов):\r\n" + path;
}

std::wstring MbrImageBadText(const std::wstring& path) {
    return L"MBR-образ не создан или повреждён:\r\n" + path;
}

std::wstring StateNotSavedText(const std::wstring& changedText) {
    return changedText + L"\r\nНе удалось записать bootstate.txt.";
}

std::wstring LoaderChangedText(const std::wstring& loaderName) {
    return L"Загрузчик изменён: " + loaderName;
}

std::wstring BackupFailedText(const std::wstring& path) {
    return L"Не удалось сохранить резервную копию загрузчика:\r\n" + path;
}

const wchar_t* const SectorSizeRefusedText = L"Диск с секторами не по 512 байт не поддерживается.";

const wchar_t* const FlushFailedText =
    L"Не удалось записать изменения на диск (сброс кэша тома не выполнен).";

std::wstring SectorMismatchText(long long sector) {
    return L"Записанные секторы не совпадают с ожидаемыми (сектор " + std::to_wstring(sector) +
           L").";
}

std::wstring RestoreLine(bool restored, const std::wstring& backupFolder) {
    return restored
               ? L"\r\nПрежний загрузчик восстановлен."
               : L"\r\nВосстановить прежний загрузчик не удалось. Резервная копия: " + backupFolder;
}

std::wstring InterruptedSwitchText(bool restored, const std::wstring& backupFolder) {
    return L"Прошлая смена загрузчика была прервана." + RestoreLine(restored, backupFolder);
}

std::wstring LayoutChangedText(const std::wstring& backupFolder) {
    return L"Прошлая смена загрузчика была прервана, но разметка диска с тех пор изменилась.\r\n"
           L"Восстановление не выполнено. Резервная копия: " +
           backupFolder;
}

std::wstring MissingSourceText(const std::wstring& path) {
    return L"Файлы загрузчика не найдены:\r\n" + path;
}

std::wstring CopyFailedText(const std::wstring& target) {
    return L"Не удалось скопировать файл загрузчика:\r\n" + target;
}

std::wstring ExitCodeText(const std::wstring& prefix, int code) {
    return prefix + std::to_wstring(code) + L").";
}

std::wstring LoaderButtonName(int32_t index) {
    const LoaderFacts* facts = FactsAtIndex(index);
    if (!facts) {
        return {};
    }
    return std::wstring(facts->mode == BootMode::Legacy ? L"Legacy BIOS: " : L"UEFI: ") +
           facts->label;
}

const wchar_t* const MinimizeName = L"Свернуть";
const wchar_t* const CloseName = L"Закрыть";
const wchar_t* const InstalledDescription = L"установлен";
const wchar_t* const PressActionName = L"Нажать";

const wchar_t* const UndoMenuText = L"Отменить последнюю смену загрузчика\u2026";

std::wstring UndoQuestionText(const std::wstring& legacyLabel, const std::wstring& uefiLabel) {
    const wchar_t* const notRecorded = L"не записан";
    return L"Вернуть загрузчики, бывшие до последней смены?\r\nLegacy BIOS: " +
           (legacyLabel.empty() ? notRecorded : legacyLabel) + L"\r\nUEFI: " +
           (uefiLabel.empty() ? notRecorded : uefiLabel);
}

const wchar_t* const UndoDoneText = L"Последняя смена загрузчика отменена.";
const wchar_t* const UndoLayoutChangedText =
    L"Разметка диска изменилась после последней смены загрузчика: отменить её нельзя.";
