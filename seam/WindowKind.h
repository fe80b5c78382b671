#pragma once
// The windows the main form opens through the factory.

enum class TWindowKind { ShowSms, Sms, Config, About, SmsTemplate };
