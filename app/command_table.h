// The main window's commands in one table: the section labels of the navigation panel, the
// entries each section lists, and the main menu are all built from the rows below, and
// RunCommand switches over the Command of every row.
#pragma once

#include "app/main_form.h"
#include "app/navigation_codes.h"

// A section label of the panel, top to bottom; its click runs the named handler.
struct SectionRow {
    QLabel* TMainForm::*label;
    void (TMainForm::*click)();
    const char* name;
    const char* text;
    int top;
    bool handCursor;  // "Управление" keeps the ordinary cursor
};

inline constexpr SectionRow kSectionRows[] = {
    {&TMainForm::Label1, &TMainForm::Label1Click, "Label1", "Настройки", 16, true},
    {&TMainForm::Label2, &TMainForm::Label2Click, "Label2", "Работа с ЭБУ", 56, true},
    {&TMainForm::Label4, &TMainForm::Label4Click, "Label4", "Управление", 96, false},
    {&TMainForm::Label6, &TMainForm::Label6Click, "Label6", "Помощь", 136, true},
    {&TMainForm::Label3, &TMainForm::Label3Click, "Label3", "Выход", 176, true},
};

// A command, in its section's list order; with the menu entry that also runs it, if any.
struct CommandRow {
    Command command;
    const char* entry;
    bool needsEquipment = false;  // listed only when the ECU family has equipment to show
    QAction* TMainForm::*menuEntry = nullptr;
    const char* menuName = nullptr;
    const char* menuText = nullptr;  // the menu's own wording
};

inline constexpr CommandRow kCommandRows[] = {
    {Command::Groups, "Группы", false, &TMainForm::N6, "N6", "Группы"},
    {Command::ConnectionSettings, "Настройка соединения", false, &TMainForm::N7, "N7",
     "Соединение"},
    {Command::EcuType, "Тип блока управления"},
    {Command::AdapterCheck, "Проверка адаптера", false, &TMainForm::N8, "N8", "Проверка адаптера"},
    {Command::Passport, "Паспорт ЭБУ", false, &TMainForm::N9, "N9", "Паспорт ЭБУ"},
    {Command::Diagnostics, "Диагностика", false, &TMainForm::N10, "N10", "Диагностика"},
    {Command::FaultList, "Список ошибок", false, &TMainForm::N11, "N11", "Список ошибок"},
    {Command::ControllerReset, "Сброс контроллера"},
    {Command::FaultClearing, "Сброс ошибок"},
    {Command::Equipment, "Комплектация", true},
    {Command::UserGuide, "Руководство пользователя", false, &TMainForm::N12, "N12",
     "Руководство пользователя"},
    {Command::About, "...О программе", false, &TMainForm::N13, "N13", "...О программе"},
    {Command::ExitProgram, "Выход из программы", false, &TMainForm::N5, "N5", "Выход"},
    {Command::Blank1, ""},
    {Command::Blank2, ""},
    {Command::Blank3, ""},
};

// A top menu, left to right, offering the menu entries of one section's commands.
struct MenuRow {
    QMenu* TMainForm::*menu;
    const char* name;
    const char* text;
    Section section;
};

inline constexpr MenuRow kMenuRows[] = {
    {&TMainForm::N1, "N1", "Файл", Section::Exit},
    {&TMainForm::N2, "N2", "Настройки", Section::Settings},
    {&TMainForm::N3, "N3", "Работа с ЭБУ", Section::Ecu},
    {&TMainForm::N4, "N4", "Помощь", Section::Help},
};

// Each command's code is its position in its section's list, the entries listed only with
// equipment coming last, so that a chosen entry runs its own command.
constexpr bool CodesArePositions() {
    for (const CommandRow& row : kCommandRows) {
        int position = 0;
        bool conditionalSeen = false;
        for (const CommandRow& other : kCommandRows) {
            if (SectionOf(other.command) != SectionOf(row.command))
                continue;
            if (conditionalSeen && !other.needsEquipment)
                return false;
            conditionalSeen = conditionalSeen || other.needsEquipment;
            ++position;
            if (&other == &row)
                break;
        }
        if (static_cast<int>(row.command) != static_cast<int>(SectionOf(row.command)) + position)
            return false;
    }
    return true;
}
static_assert(CodesArePositions(), "a command's code must be section + list position");
