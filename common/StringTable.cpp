#include "common/StringTable.h"

#include <algorithm>
#include <iterator>

namespace {

struct Entry {
    int id;
    const char* text; // UTF-8
};

// Kept sorted by number.
constexpr Entry kStrings[] = {
    {1, "OK"},
    {2, "Cancela"},
    {100, "Atalaia"},
    {102, "Atalaia"},
    {113, "Only IP address is allowed for Multicom protocol"},
    {114, "Eventos"},
    {115, "Online"},
    {116, "Offline"},
    {117, "Bloqueados"},
    {118, "Novos"},
    {119, "Configuração"},
    {120, "Programa será fechado"},
    {121, "Servidor será desconectado\nDefina outra porta e salve a configuração"},
    {122, "Nome"},
    {123, "Painel"},
    {124, "Salvar"},
    {125, "Remover"},
    {126, "Selecionar clientes..."},
    {127, "Cliente setup"},
    {128, "Informação sobre cliente"},
    {129, "Arquivo \"Alarm.lst\" faltando ou corrompido\nServer será fechado"},
    {130, "Erro em evento!\nServer será fechado"},
    {131, "Arquivo \"Events.log\" faltando ou corrompido"},
    {133, "Todos eventos após ("},
    {134, ") serão arquivados.\nContinuar?"},
    {135, "Cliente"},
    {137, "Callback enviado"},
    {138, "Tavi cannot obtain socket"},
    {139, "Callback erro"},
    {141, "Acesso não permitido!"},
    {142, "Cliente não está registrado"},
    {143, "Ultimo contato"},
    {145, "Comentario"},
    {147, "Digite o nome..."},
    {148, "Bloquear"},
    {150, "Tavi ocupado! Seção cancelada"},
    {151, "Seção atal será fechada"},
    {152, "Tavi não responde\nPode estar conectado"},
    {154, "Tempo esgotado!"},
    {155, "Tavi não responde!"},
    {156, "Executado com sucesso!"},
    {157, "Erro no comando"},
    {162, "Nenhuma porta serial encontrada"},
    {163, "Erro ao acessar register key"},
    {164, "Porta serial não definida"},
    {165, "Erro ao abrir porta"},
    {166, "Erro ao ler porta"},
    {169, "Informe porta Multicomm antes de habilitar este protocolo"},
    {170, "Remover todas contas dependentes antes da primaria."},
    {171, "Conta primaria não existe!"},
    {173, "Canal"},
    {174, "Debloquear conta primaria primeiro"},
    {175, "Conta primaria não pode ser a mesma\nOperação abortada"},
    {179, "Parametro incorreto"},
    {180, "Cliente está offline"},
    {181, "Erro de comunicacão"},
    {183, "Comando não está implementado"},
    {184, "Erro!"},
    {186, "Conta não existe!"},
    {187, "Esta Conta já existe!"},
    {188, "Este Nome já existe!"},
    {189, "Nome está vazio"},
    {190, "Informar conta primaria!"},
    {191, "Dependente setup"},
    {192, "Dependentes"},
    {193, "Dependente:"},
    {201, "IP está vazio"},
    {202, "Porta está 0"},
    {203, "Arquivo \"Report.cfg\" faltando ou corrompido\nDefault será aplicado\nVoce precisa selecionar opções e "
          "salvar"},
    {207, "Arquivo \"LocalEvents.lst\" faltando ou corrompido\nTudo será zerado\nVoce precisa preencher e salvar"},
    {208, "Todos"},
    {209, "Anonimo"},
    {400, " "},
    {401, "Data / Hora"},
    {402, "Cliente / Operador"},
    {403, "Conta"},
    {404, "Evento"},
    {405, "Codigo"},
    {406, "Part"},
    {407, "Z-U-T"},
    {408, "Painel"},
    {409, "Protocolo"},
    {410, "Multicomm"},
    {420, "Reporta por:"},
    {421, "Status:"},
    {422, "Operador:"},
    {700, "Opções gerais"},
    {701, "Callback default"},
    {702, "Porta:"},
    {703, "Keep alive"},
    {704, "Timeout:"},
    {705, "10 ~ 600 seg."},
    {706, "Sons"},
    {707, "Novo evento"},
    {708, "Novo cliente"},
    {709, "Cliente offline"},
    {710, "Falha de ACK"},
    {711, "Use PC header"},
    {712, "Portas"},
    {713, "Porta UDP:"},
    {714, "Porta TCP:"},
    {715, "Porta Multicomm:"},
    {716, "Modo anônimo"},
    {717, "Habilitar Multicom"},
    {718, "Exibir eventos"},
    {719, "Salvar"},
    {720, "Reportar"},
    {721, "Protocolo:"},
    {722, "Porta serial"},
    {723, "Taxa de bits"},
    {724, "Paridade"},
    {725, "Bits de dados"},
    {726, "Bits de parada"},
    {727, "Receptora:"},
    {728, "Linha/Grupo:"},
    {729, "IP / URL:"},
    {730, "Porta:"},
    {731, "Heartbeat proprio"},
    {732, "Habilitar"},
    {733, "Heartbeat:"},
    {734, "seg."},
    {735, "Tentativas:"},
    {736, "Reportar Heartbeat"},
    {737, "Transparente"},
    {738, "Editar"},
    {739, "Aplicar"},
    {740, "Salvar"},
    {741, "Operadores"},
    {742, "Nome"},
    {743, "Senha"},
    {744, "A: Fechar"},
    {745, "B: Configuração"},
    {746, "C: Editar"},
    {747, "D: Comandos"},
    {748, "E: Detalhes"},
    {749, "F: Administrador"},
    {750, "Salvar"},
    {751, "Eventos Internos"},
    {752, "DC-09"},
    {753, "CID"},
    {754, "Partição"},
    {755, "Z-U-T"},
    {756, "Teste Manual"},
    {757, "Novo Cliente"},
    {758, "Callback enviado"},
    {759, "Operador Login"},
    {760, "Serial Reporte ON/OFF"},
    {761, "IP Reporte ON/OFF"},
    {762, "Cliente offline"},
    {763, "Falha na Internet"},
    {764, "Cliente bloqueado"},
    {765, "Cliente removido"},
    {766, "Editar"},
    {767, "Enviar"},
    {768, "Clique para habilitar"},
    {769, "...."},
    {770, "Salvar"},
    {800, "Detalhes"},
    {830, "Apenas os dados do banco de dados estão corretos!"},
    {832, "Modelo:"},
    {833, "Firmware:"},
    {834, "MAC:"},
    {835, "IP:"},
    {836, "Porta:"},
    {838, "Alternar para Linha tel. para Download"},
    {840, "para:"},
    {848, "IP GPRS:"},
    {849, "Porta GPRS:"},
    {850, "RSSI:"},
    {1200, "Cliente"},
    {1201, "Editar"},
    {1202, "Editar Dependente"},
    {1203, "Conta"},
    {1204, "Detalhes..."},
    {1205, "Enviar"},
    {1206, "IP / URL:"},
    {1207, "Porta:"},
    {1208, "Callback"},
    {1210, "Desbloquear"},
    {1214, "*"},
    {1233, "Senha:"},
    {1236, "Dependente"},
    {1238, "Conta principal:"},
    {1269, "Novo"},
    {1271, "Confirmar"},
    {1274, "MAC"},
    {1276, "(Last three octets)"},
    {32771, "&Arquivo"},
    {32772, "&Trocar operador"},
    {32773, "&Sair"},
    {32777, "&Visualizar"},
    {32778, "&Selecionar Cliente"},
    {32779, "&Sobre"},
    {32781, "&Todos"},
};

// The look-up is a binary search: an entry out of order would hide others.
static_assert(std::is_sorted(std::begin(kStrings), std::end(kStrings),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

const Entry* find(int id) {
    const auto* end = std::end(kStrings);
    const auto* it =
        std::lower_bound(std::begin(kStrings), end, id, [](const Entry& e, int key) { return e.id < key; });
    return (it != end && it->id == id) ? it : nullptr;
}

} // namespace

namespace StringTable {

QString text(int id) {
    const Entry* entry = find(id);
    return entry ? QString::fromUtf8(entry->text) : QString();
}

bool contains(int id) {
    return find(id) != nullptr;
}

int numberOf(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    for (const Entry& entry : kStrings)
        if (utf8 == entry.text)
            return entry.id;
    return 0;
}

} // namespace StringTable
