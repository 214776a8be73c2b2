// The ERP's master data: configuration, users, the export sources and the lookup sources,
// each object's columns next to the rows it is filled with.

#include "ErpColumns.h"

namespace kv::erp::def {

namespace {

using words::Code;

void codeRows(const QList<Code>& codes, const Emit& emit) {
    for (const Code& c : codes)
        emit({c.code, c.description});
}

QVariant orNull(const QString& s) {
    return s.isEmpty() ? QVariant() : QVariant(s);
}

// "Calle Mayor 12 3º B": the street parts a vendor or contact row keeps in one column.
QString streetLine(const Address& a) {
    QStringList parts;
    for (const QVariant& p : {a.street, a.number, a.floor, a.door})
        if (!p.isNull()) parts << p.toString();
    return parts.join(QLatin1Char(' '));
}

ErpObject configuration() {
    return table("ta_configuracion", "configuration values (device count, control-sheet mode, lookups)",
                 {notNull(text("CLAVE", 50)), text("VALOR", 255), text("VALORAUX", 255)},
                 {index({"CLAVE"}, true)}, [](const SampleData&, const Emit& emit) {
                     const char* rows[][3] = {
                         {"GM_CANT_DISPOSITIVOS", "3", "Cantidad de terminales móviles"},
                         {"GM_UsaPlanillaControl", "NO", "SI: los comprobantes se importan como planilla"},
                         {"UsaConsultaLike", "SI", "Búsqueda por contenido en las consultas"},
                         {"TopConsArt", "1000", "Filas como máximo en las consultas"},
                         {"MostrarStockenConsultas", "NO", ""},
                         {"Stk_Nivel1", "", ""},
                         {"Stk_Nivel2", "", ""},
                         {"Stk_Nivel3", "", ""},
                         {"Stk_Nivel4", "", ""},
                         {"EMPRESA", "Suministros y Servicios del Centro S.L.", "Razón social de la empresa"},
                     };
                     for (const auto& r : rows)
                         emit({QString::fromUtf8(r[0]), QString::fromUtf8(r[1]), QString::fromUtf8(r[2])});
                 });
}

ErpObject users() {
    return table("TA_USUARIOS", "users: administrator check at connection; copied whole to the handhelds",
                 {notNull(text("NOMBRE", 50)), text("SISTEMA", 50), text("PASSWORD", 40),
                  byDefault(notNull(flag("Administrador")), "0")},
                 {index({"NOMBRE", "SISTEMA"}, true)}, [](const SampleData& d, const Emit& emit) {
                     for (const User& u : d.users())
                         emit({u.name, u.system, u.password, u.administrator});
                 });
}

ErpObject codeTable(const char* name, const char* codeColumn, RowMaker rows) {
    return table(name, "export source", {notNull(text(codeColumn, 4)), text("Descripcion", 50)},
                 {index({codeColumn}, true)}, rows);
}

QList<ErpObject> codeTables() {
    return {
        codeTable("V_TA_Bancos", "IdBanco",
                  [](const SampleData&, const Emit& e) { codeRows(words::banks(), e); }),
        codeTable("V_TA_Categoria", "IdCategoria",
                  [](const SampleData&, const Emit& e) { codeRows(words::clientCategories(), e); }),
        codeTable("V_TA_Rubros", "IdRubro",
                  [](const SampleData&, const Emit& e) {
                      for (const words::Rubro& r : words::rubros())
                          e({r.code.code, r.code.description});
                  }),
        codeTable("V_TA_TipoArticulo", "IdTipo",
                  [](const SampleData&, const Emit& e) { codeRows(words::articleTypes(), e); }),
        codeTable("V_TA_Unidad", "IdUnidad",
                  [](const SampleData&, const Emit& e) { codeRows(words::units(), e); }),
    };
}

ErpObject technicians() {
    return table(
        "V_TA_TECNICOS", "lookup source (TECNICOS)",
        {notNull(text("IDTECNICO", 4)), text("NOMBRE", 100), text("TELEFONO", 50), text("ESPECIALIDAD", 50)},
        {index({"IDTECNICO"}, true)}, [](const SampleData& d, const Emit& emit) {
            for (int i = 0; i < d.plan().technicians; ++i) {
                const Technician t = d.technician(i);
                emit({t.code, t.person.fullName(), t.phone, t.specialty});
            }
        });
}

ErpObject tasks() {
    return table("V_TA_Tareas", "export source (work-order tasks)",
                 {notNull(text("IdTarea", 4)), notNull(text("Descripcion", 250)), dbl("HorasEstimadas"),
                  currency("ValorHora"), byDefault(notNull(flag("ModificaValor")), "0"),
                  byDefault(notNull(flag("Exento")), "0"), text("IDTecnico", 4),
                  byDefault(notNull(flag("PideDatosAdic")), "0"), dbl("TasaIVA"),
                  memo("DescripcionAdicional")},
                 {index({"IdTarea"}, true)}, [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().tasks; ++i) {
                         const Task t = d.task(i);
                         emit({t.code, t.description, t.hours, t.rate, flagOf(t.editable), flagOf(t.exempt),
                               t.technician, flagOf(t.asksData), t.vat, t.notes});
                     }
                 });
}

ErpObject vendors() {
    return table("V_TA_VENDEDORES", "export source; lookup source (VENDEDORES)",
                 {notNull(text("IdVendedor", 4)), text("Nombre", 100), text("Domicilio", 100),
                  text("Localidad", 100), text("IdProvincia", 4), text("CodigoPostal", 50),
                  text("IdTipoDocumento", 4), text("NumeroDocumento", 50), text("IdCondIva", 4),
                  text("Telefono", 100), text("E_Mail", 100), text("http", 100), dbl("Porc_Venta"),
                  dbl("Porc_Cobranza"), binary("Imagen"), text("IDDeposito", 4)},
                 {index({"IdVendedor"}, true), index({"Nombre"})}, [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().vendors; ++i) {
                         const Vendor v = d.vendor(i);
                         // No photographs: the handheld keeps IMAGEN as a short text.
                         emit({v.code, v.person.fullName(), streetLine(v.address), v.address.town.name,
                               v.address.town.province, v.address.postalCode, QStringLiteral("NIF"),
                               v.documentNumber, QStringLiteral("1"), v.address.phone, v.email, QVariant(),
                               v.salesPercent, v.collectionPercent, QVariant(), v.depot});
                     }
                 });
}

ErpObject articles() {
    return table(
        "V_MA_ARTICULOS", "export source; lookup source (ARTICULOS)",
        {notNull(text("IDARTICULO", 25)), text("DESCRIPCION", 50), currency("COSTO"), text("CODIGOBARRA", 25),
         currency("PRECIO1"), currency("PRECIO2"), currency("PRECIO3"), currency("PRECIO4"),
         text("IDRUBRO", 4), text("IDUNIDAD", 4), text("IDTIPO", 4), dbl("TasaIVA")},
        {index({"IDARTICULO"}, true), index({"DESCRIPCION"})}, [](const SampleData& d, const Emit& emit) {
            const bool priced = d.plan().priceLists > 0;
            const PriceList general = priced ? d.priceList(0) : PriceList();
            for (int i = 0; i < d.plan().articles; ++i) {
                const Article a = d.article(i);
                Row row{a.code, a.description, a.cost, a.barcode};
                // The article's own prices are its classes in the general list.
                for (int k = 1; k <= 4; ++k)
                    row << (priced ? QVariant(d.price(a, general, k)) : QVariant());
                row << a.rubro << a.unit << a.type << a.vat;
                emit(row);
            }
        });
}

ErpObject priceLists() {
    return table("TA_LISTAS", "price lists (heads of V_MA_Precios)",
                 {notNull(text("IdLista", 4)), text("Nombre", 50), byDefault(notNull(flag("ConIVA")), "0"),
                  text("IdMoneda", 4), text("TipoLista", 1), text("FCOSTO", 100), text("FCLASE1", 100),
                  text("FCLASE2", 100), text("FCLASE3", 100), text("FCLASE4", 100), text("FCLASE5", 100)},
                 {index({"IdLista"}, true)}, [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().priceLists; ++i) {
                         const PriceList l = d.priceList(i);
                         Row row{l.code, l.name, flagOf(l.withVat), l.currency, l.type, l.costFormula};
                         for (const QString& f : l.classFormulas)
                             row << f;
                         emit(row);
                     }
                 });
}

ErpObject prices() {
    return table("MA_PRECIOS", "prices of every article in every list (rows of V_MA_Precios)",
                 {notNull(text("IdLista", 4)), notNull(text("IdArticulo", 25)), currency("Precio1"),
                  currency("Precio2"), currency("Precio3"), currency("Precio4"), currency("Precio5")},
                 {index({"IdLista", "IdArticulo"}, true)}, [](const SampleData& d, const Emit& emit) {
                     QList<PriceList> lists;
                     for (int l = 0; l < d.plan().priceLists; ++l)
                         lists << d.priceList(l);
                     qint64 left = d.plan().priceRows;
                     Row row(7);
                     for (int i = 0; i < d.plan().articles && left > 0; ++i) {
                         const Article a = d.article(i);
                         row[1] = a.code;
                         for (const PriceList& l : lists) {
                             if (left-- <= 0) break;
                             row[0] = l.code;
                             for (int k = 1; k <= 5; ++k)
                                 row[k + 1] = d.price(a, l, k);
                             emit(row);
                         }
                     }
                 });
}

// The export reads list and price in one row; the ERP keeps them apart.
ErpObject priceView() {
    ErpObject o = table("V_MA_Precios", "export source (price rows of the lists)", {});
    const QList<std::pair<const char*, ErpColumn>> columns = {
        {"L", text("IdLista", 4)},   {"L", text("Nombre", 50)},   {"P", text("IdArticulo", 25)},
        {"L", flag("ConIVA")},       {"P", currency("Precio1")},  {"P", currency("Precio2")},
        {"P", currency("Precio3")},  {"P", currency("Precio4")},  {"P", currency("Precio5")},
        {"L", text("IdMoneda", 4)},  {"L", text("TipoLista", 1)}, {"L", text("FCOSTO", 100)},
        {"L", text("FCLASE1", 100)}, {"L", text("FCLASE2", 100)}, {"L", text("FCLASE3", 100)},
        {"L", text("FCLASE4", 100)}, {"L", text("FCLASE5", 100)}};
    QStringList select;
    for (const auto& [alias, c] : columns) {
        select << QStringLiteral("%1.%2 AS %2").arg(QLatin1String(alias), c.name);
        o.columns << c;
    }
    o.view = QStringLiteral("SELECT %1 FROM MA_PRECIOS P INNER JOIN TA_LISTAS L ON L.IdLista = P.IdLista")
                 .arg(select.join(QStringLiteral(", ")));
    return o;
}

ErpObject clients() {
    return table(
        "VT_CLIENTES", "export source; client of an imported document; lookup source (CLIENTES)",
        {notNull(text("CODIGO", 15)),
         text("CTACODIGO", 15),
         text("RAZON_SOCIAL", 50),
         text("CALLE", 50),
         text("Numero", 10),
         text("PISO", 10),
         text("DEPARTAMENTO", 10),
         text("LOCALIDAD", 50),
         text("PROVINCIA", 4),
         text("CPostal", 8),
         text("TELEFONO", 50),
         text("IVA", 4),
         text("NUMERO_DOCUMENTO", 15),
         text("DOCUMENTO_TIPO", 4),
         text("ZONA", 7),
         text("IDCategoria", 4),
         smallInt("Clase"),
         text("IDVENDEDOR", 4),
         text("IDVENDEDOR1", 4),
         text("IDVENDEDOR2", 4),
         text("IDVENDEDOR3", 4),
         text("IDVENDEDOR4", 4),
         text("IDVENDEDOR5", 4),
         text("IdLista", 4),
         dbl("Descuento"),
         text("CONTACTO", 70),
         byDefault(notNull(flag("Dada_De_Baja")), "0"),
         text("E_MAIL", 100),
         dateTime("FECHA_ALTA")},
        {index({"CODIGO"}, true), index({"CTACODIGO"}), index({"RAZON_SOCIAL"})},
        [](const SampleData& d, const Emit& emit) {
            for (int i = 0; i < d.plan().clients; ++i) {
                const Client c = d.client(i);
                const Address& a = c.address;
                Row row{c.code,           c.code,         c.name,     a.street,     a.number,    a.floor,
                        a.door,           a.town.name,    c.province, a.postalCode, a.phone,     c.iva,
                        c.documentNumber, c.documentType, c.zone,     c.category,   c.priceClass};
                for (const QVariant& v : c.vendors)
                    row << v;
                row << c.priceList << c.discount << c.contact << flagOf(c.inactive) << c.email << c.since;
                emit(row);
            }
        });
}

ErpObject suppliers() {
    return table("VT_PROVEEDORES", "lookup source (PROVEEDORES)",
                 {notNull(text("CODIGO", 15)), text("RAZON_SOCIAL", 50), text("CALLE", 50),
                  text("Numero", 10), text("LOCALIDAD", 50), text("PROVINCIA", 4), text("CPostal", 8),
                  text("TELEFONO", 50), text("IVA", 4), text("NUMERO_DOCUMENTO", 15), text("CONTACTO", 70),
                  text("E_MAIL", 100), byDefault(notNull(flag("Dada_De_Baja")), "0")},
                 {index({"CODIGO"}, true), index({"RAZON_SOCIAL"})},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().suppliers; ++i) {
                         const Supplier s = d.supplier(i);
                         const Address& a = s.address;
                         emit({s.code, s.name, a.street, a.number, a.town.name, a.town.province, a.postalCode,
                               a.phone, s.iva, s.documentNumber, s.contact, s.email, flagOf(s.inactive)});
                     }
                 });
}

ErpObject contacts() {
    return table("MA_CONTACTOS", "lookup source (CONTACTOS)",
                 {identity("ID"), text("IdCliente", 15), text("Nombre_y_Apellido", 100), text("Cargo", 50),
                  text("Domicilio", 100), text("Localidad", 50), text("Telefono", 50), text("E_Mail", 100),
                  dateTime("FECHAHORA_GRABACION")},
                 {index({"Nombre_y_Apellido"}), index({"IdCliente"})},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().contacts; ++i) {
                         const Contact c = d.contact(i);
                         emit({orNull(c.client), c.person.fullName(), c.role, orNull(streetLine(c.address)),
                               c.address.town.name, c.address.phone, c.email, c.recorded});
                     }
                 });
}

ErpObject maintenances() {
    return table("V_MA_MANTENIMIENTOS", "lookup source (MANTENIMIENTOS)",
                 {identity("ID"), notNull(text("CODIGO", 15)), text("DESCRIPCION", 100),
                  text("IdCliente", 15), text("IdTarea", 4), text("IdTecnico", 4), integer("Frecuencia_Dias"),
                  dateTime("Proxima_Visita"), byDefault(notNull(flag("Activo")), "1")},
                 {index({"CODIGO"}, true), index({"DESCRIPCION"})},
                 [](const SampleData& d, const Emit& emit) {
                     for (int i = 0; i < d.plan().maintenances; ++i) {
                         const Maintenance m = d.maintenance(i);
                         emit({m.code, m.description, orNull(m.client), m.task, m.technician, m.everyDays,
                               m.next, flagOf(m.active)});
                     }
                 });
}

} // namespace

QList<ErpObject> masterObjects() {
    QList<ErpObject> list{configuration(), users()};
    list << codeTables();
    list << technicians() << tasks() << vendors() << articles() << priceLists() << prices() << priceView()
         << clients() << suppliers() << contacts() << maintenances();
    return list;
}

} // namespace kv::erp::def
