#include "composer/TemplateModes.h"

const char* const kSettingBoxes[9] = {"BaseSettingsBox", "DigitalInBox", "AnalogInBox",
                                      "ControlPiontBox", "VoiceSettingsBox", "AddSettingsBox",
                                      "SetOutBox",       "PulseOutBox",  "USSDBox"};

namespace {

const TTemplateMode kModes[] = {
    {1, false, "NumberBox", false, "Запросить координаты"},
    {2, false, "BaseSettingsBox", true, "Настройки устройства"},
    {3, false, "DigitalInBox", true, "Настройки цифровых входов"},
    {4, false, "AnalogInBox", true, "Настройки аналоговых входов"},
    {5, false, "ControlPiontBox", true, "Контрольные точки"},
    {6, false, "VoiceSettingsBox", true, "Настройки голосовой связи"},
    {7, false, "AddSettingsBox", true, "Дополнительные настройки"},
    {8, false, "NumberBox", false, "Запросить изменение настроек"},
    {9, false, "USSDBox", false, "Выполнить USSD запрос"},
    {10, false, "SetOutBox", true, "Установить состояние выхода"},
    {11, false, "PulseOutBox", true, "Сгенерировать импульс на выходе"},
    {12, false, "NumberBox", false, "Сбросить прибор"},
    {13, true, "BaseSettingsBox", true, "Запросить настройки устройства"},
    {14, true, "DigitalInBox", true, "Запросить настройки цифровых входов"},
    {15, true, "AnalogInBox", true, "Запросить настройки аналоговых входов"},
    {16, true, "ControlPiontBox", true, "Запросить настройки контрольных точек"},
    {17, true, "VoiceSettingsBox", true, "Запросить настройки голосовой связи"},
    {18, true, "AddSettingsBox", true, "Запросить дополнительные настройки"},
    {19, true, "NumberBox", false, "Запросить настройки прибора 1"},
    {20, true, "NumberBox", false, "Запросить настройки прибора 2"},
    {21, true, "NumberBox", false, "Запросить настройки аналоговых входов"},
    {22, true, "NumberBox", false, "Запросить настройки контрольных точек"},
};

}  // namespace

const TTemplateMode* FindTemplateMode(int commandType) {
  if (commandType < 1 || commandType > 22) return nullptr;
  return &kModes[commandType - 1];
}
