#include "tools/simulator/profiles.h"

#include "tools/simulator/meters.h"
#include "tools/simulator/realmeters.h"
#include "tools/simulator/telegrams.h"

namespace metersim {

namespace {
constexpr int kUnpluggedDefaultMs = 2500;
}

const ProfileInfo *profileByName(const QString &name)
{
    for (const ProfileInfo &p : kProfiles) {
        if (name == QLatin1String(p.name))
            return &p;
    }
    return nullptr;
}

const ProfileInfo &profileInfo(Profile profile)
{
    for (const ProfileInfo &p : kProfiles) {
        if (p.profile == profile)
            return p;
    }
    return kProfiles[0];
}

QString realMeterProblem(Profile profile, const Options &options)
{
    if (options.realMeter.isEmpty())
        return QString();
    const RealMeter *real = realMeterById(options.realMeter);
    if (!real)
        return QStringLiteral("no real meter '%1'").arg(options.realMeter);
    if (!playsWith(*real, profile))
        return QStringLiteral("the profile %1 cannot play %2; %3 can")
            .arg(QLatin1String(profileInfo(profile).name), real->id,
                 QLatin1String(profileInfo(defaultProfileFor(*real)).name));
    return QString();
}

Options effectiveOptions(Profile profile, Options options)
{
    // The real meter's bytes replace the default telegram; its identification
    // offers its own baud-rate character.
    const RealMeter *real = options.realMeter.isEmpty() ? nullptr : realMeterById(options.realMeter);
    if (real && playsWith(*real, profile)) {
        if (real->kind == RealMeter::Kind::Sml)
            options.telegram = real->sml;
        else
            options.telegram = profile == Profile::IecPush ? real->identification + real->data : real->data;
        options.baudChar = real->baudChar();
    }
    switch (profile) {
    case Profile::Loopback:
        options.echo = true;
        break;
    case Profile::StopsMidTelegram:
        if (options.stopAfterBytes < 0) {
            const QByteArray t = options.telegram.isEmpty() ? telegrams::smlFile() : options.telegram;
            options.stopAfterBytes = t.size() / 2;
        }
        break;
    case Profile::Unplugged:
        if (options.unplugAfterMs < 0)
            options.unplugAfterMs = kUnpluggedDefaultMs;
        break;
    default:
        break;
    }
    return options;
}

std::unique_ptr<Meter> createMeter(Profile profile, const Options &o)
{
    // The glitch byte rides in front of every readout; for a mode C meter that
    // is where it changes its rate.
    const QByteArray glitch = o.glitchByte >= 0 ? QByteArray(1, char(o.glitchByte)) : QByteArray();
    auto readout = [&o, &glitch](const QByteArray &fallback) {
        return glitch + (o.telegram.isEmpty() ? fallback : o.telegram);
    };
    const RealMeter *real = o.realMeter.isEmpty() ? nullptr : realMeterById(o.realMeter);
    auto identificationOr = [real, &o](char baudChar) {
        return real                       ? real->identification
               : !o.identification.isEmpty() ? o.identification
                                           : telegrams::iecIdentification(baudChar);
    };
    switch (profile) {
    case Profile::SmlPush:
    case Profile::Rs485SmlPush:
    case Profile::StopsMidTelegram:
    case Profile::Unplugged:
        return std::make_unique<PushMeter>(o.format.value_or(format8N1(9600)), readout(telegrams::smlFile()),
                                           o.intervalMs, o.firstPushMs, o.damagedEchoes);
    case Profile::SmlRequest:
        return std::make_unique<RequestMeter>(o.format.value_or(format8N1(9600)), telegrams::smlRequest(),
                                              readout(telegrams::smlFile()), o.reactionMs);
    case Profile::IecPush:
        return std::make_unique<PushMeter>(o.format.value_or(format7E1(9600)),
                                           readout(telegrams::iecPushMessage(o.readoutBytes)), o.intervalMs,
                                           o.firstPushMs, o.damagedEchoes);
    case Profile::IecModeC:
    case Profile::IecModeCIgnoresAck:
    case Profile::IecModeC300Only:
    case Profile::IecModeCHasty: {
        using Kind = IecModeCMeter::Kind;
        const Kind kind = profile == Profile::IecModeCIgnoresAck ? Kind::IgnoresAck
                          : profile == Profile::IecModeC300Only  ? Kind::Only300
                          : profile == Profile::IecModeCHasty    ? Kind::Hasty
                                                                 : Kind::Normal;
        return std::make_unique<IecModeCMeter>(kind, o, identificationOr(o.baudChar),
                                               readout(telegrams::iecDataMessage(o.readoutBytes)));
    }
    case Profile::Rs485Iec:
        return std::make_unique<Rs485IecMeter>(o.format.value_or(format7E1(9600)), identificationOr('5'),
                                               readout(telegrams::iecDataMessage(o.readoutBytes)), o.reactionMs);
    case Profile::ModbusSlave:
        return std::make_unique<ModbusSlaveMeter>(o, o.registers.isEmpty() ? telegrams::modbusRegisters()
                                                                           : o.registers);
    case Profile::Noise:
        return std::make_unique<NoiseMeter>(o.seed);
    case Profile::Loopback:
    case Profile::Silent:
        break;
    }
    return std::make_unique<SilentMeter>();
}

} // namespace metersim
