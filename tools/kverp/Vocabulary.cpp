#include "Vocabulary.h"

#include <initializer_list>

namespace kv::erp::words {

namespace {

QStringList list(std::initializer_list<const char*> items) {
    QStringList l;
    l.reserve(qsizetype(items.size()));
    for (const char* s : items)
        l << QString::fromUtf8(s);
    return l;
}

QList<Code> codes(std::initializer_list<std::pair<const char*, const char*>> items) {
    QList<Code> l;
    for (const auto& [code, description] : items)
        l.append({QString::fromUtf8(code), QString::fromUtf8(description)});
    return l;
}

ProductFamily family(const char* noun, const char* unit, std::initializer_list<const char*> variants,
                     std::initializer_list<const char*> sizes, double minCost, double maxCost) {
    return {QString::fromUtf8(noun), QString::fromUtf8(unit), list(variants), list(sizes), minCost, maxCost};
}

} // namespace

const QStringList& maleNames() {
    static const QStringList l =
        list({"Antonio", "José",     "Manuel",    "Francisco", "Juan",    "David",  "Javier",  "Daniel",
              "Carlos",  "Jesús",    "Alejandro", "Miguel",    "Rafael",  "Pedro",  "Pablo",   "Ángel",
              "Sergio",  "Fernando", "Jorge",     "Luis",      "Alberto", "Álvaro", "Adrián",  "Diego",
              "Raúl",    "Enrique",  "Ramón",     "Vicente",   "Iván",    "Rubén",  "Óscar",   "Andrés",
              "Joaquín", "Santiago", "Eduardo",   "Víctor",    "Roberto", "Jaime",  "Ignacio", "Alfonso",
              "Gonzalo", "Agustín",  "Emilio",    "Tomás",     "Julián",  "Marcos"});
    return l;
}

const QStringList& femaleNames() {
    static const QStringList l =
        list({"María",   "Carmen",   "Ana",     "Isabel",      "Laura",  "Cristina",   "Marta",
              "Lucía",   "Pilar",    "Dolores", "Paula",       "Elena",  "Sara",       "Mercedes",
              "Rosa",    "Raquel",   "Beatriz", "Patricia",    "Silvia", "Julia",      "Nuria",
              "Irene",   "Alba",     "Rocío",   "Sonia",       "Andrea", "Montserrat", "Inmaculada",
              "Rosario", "Teresa",   "Natalia", "Encarnación", "Eva",    "Concepción", "Claudia",
              "Noelia",  "Verónica", "Lorena",  "Esther",      "Ángela", "Inés",       "Begoña",
              "Marina",  "Susana",   "Amparo",  "Olga"});
    return l;
}

const QStringList& surnames() {
    static const QStringList l = list(
        {"García",    "González", "Rodríguez", "Fernández", "López",     "Martínez", "Sánchez",   "Pérez",
         "Gómez",     "Martín",   "Jiménez",   "Ruiz",      "Hernández", "Díaz",     "Moreno",    "Muñoz",
         "Álvarez",   "Romero",   "Alonso",    "Gutiérrez", "Navarro",   "Torres",   "Domínguez", "Vázquez",
         "Ramos",     "Gil",      "Ramírez",   "Serrano",   "Blanco",    "Molina",   "Morales",   "Suárez",
         "Ortega",    "Delgado",  "Castro",    "Ortiz",     "Rubio",     "Marín",    "Sanz",      "Núñez",
         "Iglesias",  "Medina",   "Garrido",   "Cortés",    "Castillo",  "Santos",   "Lozano",    "Guerrero",
         "Cano",      "Prieto",   "Méndez",    "Cruz",      "Calvo",     "Gallego",  "Vidal",     "León",
         "Márquez",   "Herrera",  "Peña",      "Flores",    "Cabrera",   "Campos",   "Vega",      "Fuentes",
         "Carrasco",  "Diez",     "Caballero", "Reyes",     "Nieto",     "Aguilar",  "Pascual",   "Santana",
         "Herrero",   "Montero",  "Lorenzo",   "Hidalgo",   "Giménez",   "Ibáñez",   "Ferrer",    "Durán",
         "Santiago",  "Benítez",  "Mora",      "Vicente",   "Vargas",    "Arias",    "Carmona",   "Crespo",
         "Román",     "Pastor",   "Soto",      "Sáez",      "Velasco",   "Moya",     "Soler",     "Parra",
         "Esteban",   "Bravo",    "Gallardo",  "Rojas",     "Pardo",     "Merino",   "Franco",    "Espinosa",
         "Izquierdo", "Lara",     "Rivas",     "Silva",     "Rivera",    "Casado",   "Arroyo",    "Redondo",
         "Camacho",   "Rey",      "Vera",      "Otero",     "Luque",     "Galán",    "Montes",    "Ríos",
         "Sierra",    "Segura",   "Carrillo",  "Marcos",    "Martí",     "Soriano",  "Mendoza",   "Robles"});
    return l;
}

const QStringList& streets() {
    static const QStringList l = list({"Calle Mayor",
                                       "Calle Real",
                                       "Calle Nueva",
                                       "Calle del Carmen",
                                       "Calle San Francisco",
                                       "Calle de la Iglesia",
                                       "Calle del Sol",
                                       "Calle de la Paz",
                                       "Calle San Antonio",
                                       "Calle Cervantes",
                                       "Calle Alcalá",
                                       "Calle del Molino",
                                       "Calle de los Olivos",
                                       "Calle de la Fuente",
                                       "Calle Castilla",
                                       "Calle Toledo",
                                       "Calle Rosales",
                                       "Calle del Pilar",
                                       "Calle Doctor Fleming",
                                       "Calle Santa Ana",
                                       "Calle Goya",
                                       "Calle Velázquez",
                                       "Calle de las Huertas",
                                       "Calle del Pozo",
                                       "Calle Ramón y Cajal",
                                       "Calle Jacinto Benavente",
                                       "Calle Miguel Hernández",
                                       "Calle Antonio Machado",
                                       "Calle de la Estación",
                                       "Calle del Comercio",
                                       "Avenida de la Constitución",
                                       "Avenida de Andalucía",
                                       "Avenida de España",
                                       "Avenida de Madrid",
                                       "Avenida del Ejército",
                                       "Avenida de la Libertad",
                                       "Avenida de los Reyes Católicos",
                                       "Avenida Pío XII",
                                       "Paseo de la Castellana",
                                       "Paseo del Prado",
                                       "Paseo de la Estación",
                                       "Paseo Marítimo",
                                       "Plaza de España",
                                       "Plaza Mayor",
                                       "Plaza del Ayuntamiento",
                                       "Plaza de la Constitución",
                                       "Ronda de Valencia",
                                       "Camino de Ronda",
                                       "Carretera de Valencia",
                                       "Polígono Industrial Las Quemadas",
                                       "Polígono Industrial El Prado",
                                       "Travesía de la Ermita",
                                       "Glorieta de Bilbao"});
    return l;
}

const QList<Town>& towns() {
    static const QList<Town> l = [] {
        struct Row {
            const char *name, *province, *postal, *phone, *zone;
        };
        const Row rows[] = {
            {"Madrid", "28", "28001", "91", "CEN"},
            {"Alcalá de Henares", "28", "28801", "91", "CEN"},
            {"Getafe", "28", "28901", "91", "CEN"},
            {"Móstoles", "28", "28931", "91", "CEN"},
            {"Toledo", "45", "45001", "925", "CEN"},
            {"Talavera de la Reina", "45", "45600", "925", "CEN"},
            {"Guadalajara", "19", "19001", "949", "CEN"},
            {"Cuenca", "16", "16001", "969", "CLM"},
            {"Ciudad Real", "13", "13001", "926", "CLM"},
            {"Albacete", "02", "02001", "967", "CLM"},
            {"Valencia", "46", "46001", "96", "LEV"},
            {"Gandia", "46", "46700", "96", "LEV"},
            {"Alicante", "03", "03001", "965", "LEV"},
            {"Elche", "03", "03201", "965", "LEV"},
            {"Castellón de la Plana", "12", "12001", "964", "LEV"},
            {"Murcia", "30", "30001", "968", "MUR"},
            {"Cartagena", "30", "30201", "968", "MUR"},
            {"Lorca", "30", "30800", "968", "MUR"},
            {"Sevilla", "41", "41001", "95", "AND"},
            {"Dos Hermanas", "41", "41700", "95", "AND"},
            {"Córdoba", "14", "14001", "957", "AND"},
            {"Granada", "18", "18001", "958", "AND"},
            {"Málaga", "29", "29001", "95", "ANDO"},
            {"Marbella", "29", "29600", "95", "ANDO"},
            {"Cádiz", "11", "11001", "956", "ANDO"},
            {"Jerez de la Frontera", "11", "11401", "956", "ANDO"},
            {"Almería", "04", "04001", "950", "AND"},
            {"Jaén", "23", "23001", "953", "AND"},
            {"Huelva", "21", "21001", "959", "ANDO"},
            {"Zaragoza", "50", "50001", "976", "ARA"},
            {"Huesca", "22", "22001", "974", "ARA"},
            {"Teruel", "44", "44001", "978", "ARA"},
            {"Barcelona", "08", "08001", "93", "CAT"},
            {"Tarragona", "43", "43001", "977", "CAT"},
            {"Lleida", "25", "25001", "973", "CAT"},
            {"Girona", "17", "17001", "972", "CAT"},
            {"Valladolid", "47", "47001", "983", "CYL"},
            {"Salamanca", "37", "37001", "923", "CYL"},
            {"Burgos", "09", "09001", "947", "CYL"},
            {"León", "24", "24001", "987", "CYL"},
            {"Palencia", "34", "34001", "979", "CYL"},
            {"Oviedo", "33", "33001", "985", "NOR"},
            {"Gijón", "33", "33201", "985", "NOR"},
            {"Santander", "39", "39001", "942", "NOR"},
            {"Bilbao", "48", "48001", "94", "NOR"},
            {"Vitoria-Gasteiz", "01", "01001", "945", "NOR"},
            {"Pamplona", "31", "31001", "948", "NOR"},
            {"Logroño", "26", "26001", "941", "NOR"},
            {"A Coruña", "15", "15001", "981", "NOE"},
            {"Vigo", "36", "36201", "986", "NOE"},
            {"Lugo", "27", "27001", "982", "NOE"},
            {"Ourense", "32", "32001", "988", "NOE"},
            {"Badajoz", "06", "06001", "924", "EXT"},
            {"Cáceres", "10", "10001", "927", "EXT"},
            {"Mérida", "06", "06800", "924", "EXT"},
            {"Palma", "07", "07001", "971", "BAL"},
            {"Las Palmas de Gran Canaria", "35", "35001", "928", "CAN"},
            {"Santa Cruz de Tenerife", "38", "38001", "922", "CAN"},
        };
        QList<Town> t;
        for (const Row& r : rows)
            t.append({QString::fromUtf8(r.name), QString::fromLatin1(r.province),
                      QString::fromLatin1(r.postal), QString::fromLatin1(r.phone),
                      QString::fromLatin1(r.zone)});
        return t;
    }();
    return l;
}

const QStringList& clientTrades() {
    static const QStringList l =
        list({"Ferretería",  "Almacén",        "Electricidad",   "Construcciones", "Talleres",
              "Suministros", "Distribuciones", "Comercial",      "Instalaciones",  "Reformas",
              "Fontanería",  "Pinturas",       "Materiales",     "Climatización",  "Bricolaje",
              "Cerrajería",  "Carpintería",    "Mantenimientos", "Hostal",         "Bar",
              "Panadería"});
    return l;
}

const QStringList& supplierTrades() {
    static const QStringList l =
        list({"Industrias", "Fábrica de Tornillería", "Importadora", "Manufacturas", "Aceros",
              "Cables y Conductores", "Pinturas y Barnices", "Herramientas", "Plásticos", "Maderas",
              "Química Industrial", "Transportes"});
    return l;
}

const QStringList& companySuffixes() {
    static const QStringList l =
        list({" S.L.", " S.L.", " S.A.", " Hnos.", " e Hijos", " S.L.U.", " S.Coop.", ""});
    return l;
}

const QStringList& contactRoles() {
    static const QStringList l =
        list({"gerente", "compras", "administración", "encargado", "propietario", "jefe de obra", "almacén"});
    return l;
}

const QList<Code>& banks() {
    static const QList<Code> l = codes({{"0001", "Banco del Sur"},
                                        {"0002", "Banco Atlántico de Comercio"},
                                        {"0003", "Caja Rural de Levante"},
                                        {"0004", "Banco Cooperativo Agrario"},
                                        {"0005", "Caja de Ahorros del Norte"},
                                        {"0006", "Banco Popular de la Meseta"},
                                        {"0007", "Caja Provincial de Castilla"},
                                        {"0008", "Banco Industrial Mediterráneo"},
                                        {"0009", "Banco de Crédito Local"},
                                        {"0010", "Caja Insular de Ahorros"}});
    return l;
}

const QList<Code>& clientCategories() {
    static const QList<Code> l = codes({{"MIN", "Minorista"},
                                        {"MAY", "Mayorista"},
                                        {"INS", "Instalador profesional"},
                                        {"CON", "Constructora"},
                                        {"ADM", "Administración pública"},
                                        {"PAR", "Particular"}});
    return l;
}

const QList<Code>& units() {
    static const QList<Code> l = codes({{"UN", "Unidad"},
                                        {"PAR", "Par"},
                                        {"CJ", "Caja"},
                                        {"BL", "Bolsa"},
                                        {"KG", "Kilogramo"},
                                        {"MT", "Metro"},
                                        {"M2", "Metro cuadrado"},
                                        {"LT", "Litro"},
                                        {"RLL", "Rollo"},
                                        {"HS", "Hora"}});
    return l;
}

const QList<Code>& articleTypes() {
    static const QList<Code> l = codes({{"MER", "Mercadería de reventa"},
                                        {"REP", "Repuesto"},
                                        {"INS", "Insumo de taller"},
                                        {"SER", "Servicio"}});
    return l;
}

const QList<Rubro>& rubros() {
    static const QList<Rubro> l = [] {
        QList<Rubro> r;
        r.append(
            {{QStringLiteral("FER"), QStringLiteral("Ferretería general")},
             {family("Tornillo autorroscante", "CJ", {"cabeza plana", "cabeza redonda", "zincado", "inox"},
                     {"3,5x16", "4x25", "4x40", "5x50", "6x60"}, 1.5, 12),
              family("Tuerca hexagonal", "BL", {"zincada", "inox A2", "autoblocante"},
                     {"M6", "M8", "M10", "M12"}, 0.8, 6),
              family("Bisagra", "UN", {"de libro", "de cazoleta", "de piano", "de seguridad"},
                     {"40 mm", "60 mm", "80 mm", "100 mm"}, 0.9, 9),
              family("Cerradura", "UN", {"de embutir", "de sobreponer", "antibumping", "de seguridad"},
                     {"35 mm", "50 mm", "60 mm"}, 9, 85),
              family("Candado", "UN", {"latón", "acero templado", "con combinación"},
                     {"30 mm", "40 mm", "50 mm"}, 3, 28),
              family("Taco de nailon", "CJ", {"universal", "con borde", "para pladur"},
                     {"6 mm", "8 mm", "10 mm"}, 1.2, 7)}});
        r.append(
            {{QStringLiteral("ELE"), QStringLiteral("Material eléctrico")},
             {family("Cable unipolar", "RLL", {"rojo", "azul", "negro", "amarillo-verde", "gris"},
                     {"1,5 mm²", "2,5 mm²", "4 mm²", "6 mm²"}, 14, 95),
              family("Interruptor", "UN", {"simple", "conmutado", "de cruce", "bipolar"},
                     {"blanco", "marfil"}, 1.8, 14),
              family("Base de enchufe", "UN", {"schuko", "doble schuko", "con tapa estanca"},
                     {"16 A", "16 A IP44"}, 2, 18),
              family("Lámpara LED", "UN", {"luz cálida", "luz neutra", "luz fría"},
                     {"E27 9 W", "E27 12 W", "GU10 5 W", "E14 6 W"}, 1.5, 9),
              family("Magnetotérmico", "UN", {"1P+N", "2P", "4P"}, {"10 A", "16 A", "20 A", "25 A"}, 6, 48),
              family("Cinta aislante", "UN", {"negra", "azul", "roja", "blanca"}, {"19 mm x 20 m"}, 0.5,
                     2.5)}});
        r.append({{QStringLiteral("FON"), QStringLiteral("Fontanería y saneamiento")},
                  {family("Tubo multicapa", "MT", {"con coquilla", "desnudo"}, {"16 mm", "20 mm", "26 mm"},
                          0.9, 4.5),
                   family("Codo de latón", "UN", {"roscado", "a presión", "hembra-hembra"},
                          {"1/2\"", "3/4\"", "1\""}, 0.9, 6),
                   family("Grifo monomando", "UN", {"de lavabo", "de fregadero", "de ducha"},
                          {"cromado", "negro mate"}, 18, 140),
                   family("Llave de paso", "UN", {"de esfera", "de escuadra", "empotrada"},
                          {"1/2\"", "3/4\""}, 3, 25),
                   family("Sifón", "UN", {"de botella", "extensible", "de bañera"}, {"32 mm", "40 mm"}, 2.5,
                          16)}});
        r.append(
            {{QStringLiteral("PIN"), QStringLiteral("Pinturas y accesorios")},
             {family("Pintura plástica", "LT", {"blanca mate", "blanca satinada", "gris perla", "marfil"},
                     {"750 ml", "4 l", "15 l"}, 4, 70),
              family("Esmalte sintético", "LT", {"brillante", "satinado", "forja"},
                     {"375 ml", "750 ml", "4 l"}, 5, 60),
              family("Rodillo", "UN", {"antigota", "de espuma", "de microfibra"}, {"11 cm", "18 cm", "22 cm"},
                     1.5, 9),
              family("Brocha", "UN", {"plana", "redonda", "de paletina"}, {"20 mm", "40 mm", "60 mm"}, 0.9,
                     7),
              family("Cinta de carrocero", "RLL", {"estándar", "para exteriores"},
                     {"24 mm", "36 mm", "48 mm"}, 0.9, 4)}});
        r.append({{QStringLiteral("HER"), QStringLiteral("Herramientas")},
                  {family("Destornillador", "UN", {"plano", "de estrella", "Torx", "aislado 1000 V"},
                          {"PH1", "PH2", "3 mm", "5,5 mm"}, 2, 14),
                   family("Alicate", "UN", {"universal", "de corte", "de punta", "pelacables"},
                          {"160 mm", "180 mm", "200 mm"}, 5, 32),
                   family("Taladro percutor", "UN", {"con cable", "a batería 18 V"},
                          {"600 W", "750 W", "850 W"}, 38, 190),
                   family("Juego de brocas", "CJ", {"para metal", "para hormigón", "para madera"},
                          {"5 piezas", "10 piezas", "19 piezas"}, 5, 45),
                   family("Llave inglesa", "UN", {"cromada", "de boca ancha"}, {"150 mm", "250 mm", "300 mm"},
                          5, 28)}});
        r.append(
            {{QStringLiteral("CLI"), QStringLiteral("Climatización")},
             {family("Filtro de aire", "UN", {"para split", "para conducto", "de carbón activo"},
                     {"estándar", "alta eficiencia"}, 3, 30),
              family("Gas refrigerante", "KG", {"R32", "R410A"}, {"botella 5 kg", "botella 10 kg"}, 40, 260),
              family("Termostato", "UN", {"analógico", "digital", "programable wifi"}, {"blanco"}, 12, 120),
              family("Tubo de cobre", "MT", {"recocido", "aislado"}, {"1/4\"", "3/8\"", "1/2\""}, 2, 9)}});
        r.append(
            {{QStringLiteral("JAR"), QStringLiteral("Jardín y riego")},
             {family("Manguera", "RLL", {"reforzada", "extensible", "antitorsión"}, {"15 m", "25 m", "50 m"},
                     8, 60),
              family("Programador de riego", "UN", {"de grifo", "de 4 zonas", "de 6 zonas"},
                     {"a pilas", "230 V"}, 18, 120),
              family("Gotero", "BL", {"autocompensante", "regulable"}, {"2 l/h", "4 l/h", "8 l/h"}, 2, 9)}});
        r.append(
            {{QStringLiteral("LIM"), QStringLiteral("Limpieza e higiene")},
             {family("Desengrasante", "LT", {"industrial", "multiusos", "para cocinas"}, {"1 l", "5 l"}, 2,
                     18),
              family("Guante de nitrilo", "CJ", {"azul", "negro"}, {"talla M", "talla L", "talla XL"}, 4, 12),
              family("Bolsa de basura", "RLL", {"de comunidad", "industrial"}, {"85x105", "110x130"}, 1.5,
                     8)}});
        return r;
    }();
    return l;
}

const QStringList& brands() {
    static const QStringList l = list({"Atlas", "Norte", "Delta", "Faro", "Roble", "Vega", "Solana", "Íbera",
                                       "Cierzo", "Mistral", "Altamira", "Tajo", "Duero", "Sierra"});
    return l;
}

const QStringList& taskActions() {
    static const QStringList l =
        list({"Revisión general", "Mantenimiento preventivo", "Reparación", "Sustitución", "Instalación",
              "Puesta en marcha", "Limpieza técnica", "Inspección reglamentaria", "Ajuste y calibrado",
              "Diagnóstico de avería", "Desmontaje y retirada", "Adecuación a normativa"});
    return l;
}

const QStringList& taskObjects() {
    static const QStringList l = list(
        {"del cuadro eléctrico", "de la instalación de fontanería", "del equipo de aire acondicionado",
         "de la caldera de gas", "del grupo de presión", "de la puerta automática", "del sistema de riego",
         "de la red de saneamiento", "del alumbrado exterior", "de la bomba de calor", "del termo eléctrico",
         "de la cámara frigorífica", "de los extintores", "de la instalación solar térmica"});
    return l;
}

const QStringList& taskDetails() {
    static const QStringList l = list(
        {"con comprobación de conexiones y aprietes", "incluye limpieza de filtros y bandejas",
         "con medición de consumos y tensiones", "verificando estanqueidad de uniones",
         "con prueba de funcionamiento final en presencia del cliente",
         "según las indicaciones del fabricante", "registrando las lecturas en el parte de trabajo",
         "sin incluir materiales, que se facturan aparte", "con retirada de residuos al punto limpio",
         "dejando la zona de trabajo limpia y señalizada", "en horario acordado con el responsable del local",
         "con revisión de protecciones diferenciales"});
    return l;
}

const QStringList& taskChecklist() {
    static const QStringList l =
        list({"Comprobar que el equipo está desconectado antes de intervenir.",
              "Anotar número de serie y modelo del equipo en el parte.",
              "Revisar el estado de juntas, latiguillos y racores.",
              "Medir la resistencia de aislamiento y anotar el valor.",
              "Verificar el par de apriete de los bornes.",
              "Limpiar y desinfectar filtros y bandejas de condensados.",
              "Comprobar presiones de trabajo en alta y en baja.",
              "Informar al cliente de cualquier anomalía detectada y pedir su firma.",
              "Fotografiar el estado inicial y final de la instalación.",
              "Reponer las etiquetas de señalización que falten.",
              "Dejar constancia de los materiales empleados con su código de artículo.",
              "Programar la próxima visita según la periodicidad del contrato."});
    return l;
}

const QStringList& specialties() {
    static const QStringList l = list({"Electricidad", "Fontanería", "Climatización", "Calefacción",
                                       "Mantenimiento general", "Frío industrial", "Automatismos"});
    return l;
}

const QStringList& priceListNames() {
    static const QStringList l = list({"Lista General", "Mayoristas", "Costo de Compra", "Contado con IVA",
                                       "Distribuidores", "Especial Obras"});
    return l;
}

} // namespace kv::erp::words
