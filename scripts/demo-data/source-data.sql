-- Rows of the demo source database, generated deterministically. Texts carry umlauts, ß and
-- apostrophes; every few rows leave a column NULL. Some rows break the target's rules on purpose:
--   VNH_MSStamm      every 250th KennNr repeats the one before (the target's KennNr is unique)
--   VNH_Messwerte    every 500th Wert is negative (the target refuses negative values)
--   VNH_ChangeLogger every 100th row has no Benutzer (the target requires one)
-- Decimals are written as text, so that a column holds the number nearest to its decimal digits, as in
-- a database with exact decimal columns.
BEGIN;

INSERT INTO VNH_ValueMarkers (ID, Marker, Bedeutung, Farbe, Sortierung) VALUES
    (1, '<', 'unter Bestimmungsgrenze', 255, 1),
    (2, '>', 'über Messbereich', 65280, 2),
    (3, 'n.b.', 'nicht bestimmt', NULL, 3),
    (4, 'ca.', 'geschätzter Wert', 16711680, 4),
    (5, '''', 'Wert mit Apostroph ''markiert''', 8421504, 5),
    (6, 'ÄÖÜ', 'Umlaute: äöü ÄÖÜ ß', 0, 6);

WITH RECURSIVE
    seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 1000),
    orte(i, name) AS (VALUES (0, 'Münster'), (1, 'Düsseldorf'), (2, 'Gießen'), (3, 'Köln'),
                             (4, 'O''Higgins-Straße'), (5, 'Lübeck'), (6, 'Straßburg'))
INSERT INTO VNH_MSStamm (ID, KennNr, Bezeichnung, Ort, Tiefe, LetzteMessung, LetzteBeprobung, Aktiv, Bemerkung)
SELECT n,
       printf('MS-%05d', CASE WHEN n % 250 = 0 THEN n - 1 ELSE n END),
       printf('Messstelle %d ''%s''', n, orte.name),
       orte.name,
       printf('%.2f', n * 0.37 + 1.5),
       CASE WHEN n % 9 = 0 THEN NULL
            ELSE datetime('2015-01-01 06:30:00', printf('+%d minutes', n * 4177 % 4000000)) END,
       CASE WHEN n % 11 = 0 THEN NULL ELSE date('2010-03-15', printf('+%d days', n * 7 % 5000)) END,
       n % 3 <> 0,
       CASE WHEN n % 5 = 0 THEN NULL
            WHEN n % 5 = 1 THEN 'Pegel gemäß DIN; Zugang über Hof'
            WHEN n % 5 = 2 THEN 'Betreiber''s Hinweis: "Schlüssel beim Hausmeister"'
            ELSE printf('Zeile 1 von %d' || char(13, 10) || 'Zeile 2: größer als üblich', n) END
FROM seq JOIN orte ON orte.i = n % 7;

WITH RECURSIVE
    seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 3000),
    params(i, name, unit) AS (VALUES (0, 'Wasserstand', 'm'), (1, 'Temperatur', '°C'),
                                     (2, 'Leitfähigkeit', 'µS/cm'), (3, 'pH-Wert', NULL),
                                     (4, 'Sauerstoff', 'mg/l'))
INSERT INTO VNH_Messwerte (ID, MSStammID, Zeitpunkt, Parameter, Wert, Einheit, Geprueft, Kommentar)
SELECT n,
       1 + n % 1000,
       datetime('2020-01-01 00:00:00', printf('+%d minutes', n * 173)),
       params.name,
       printf('%s%d.%06d', CASE WHEN n % 500 = 0 THEN '-' ELSE '' END, n * 7919 % 100000 / 1000,
              n * 7919 % 1000 * 1000 + 125),
       params.unit,
       n % 4 = 0,
       CASE WHEN n % 3 = 0 THEN NULL
            WHEN n % 3 = 1 THEN 'Probe geprüft'
            ELSE printf('Nachmessung ''%d'' veranlaßt', n) END
FROM seq JOIN params ON params.i = n % 5;

-- Contents are bytes of every kind, NUL included; every tenth document has none.
WITH RECURSIVE seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 150)
INSERT INTO VNH_Dokumente (ID, MSStammID, Dateiname, Erstellt, Groesse, Vertraulich, Inhalt)
SELECT n,
       1 + n * 7 % 1000,
       printf('Lageplan_%03d_Übersicht.pdf', n),
       date('2018-06-01', printf('+%d days', n * 3)),
       NULL,
       n % 7 = 0,
       CASE WHEN n % 10 = 0 THEN NULL
            ELSE CAST(char(37, 80, 68, 70, 0, 1, 2, n % 256, 127) || printf(' Dokument %d ', n) ||
                      hex(zeroblob(n)) AS BLOB) END
FROM seq;
UPDATE VNH_Dokumente SET Groesse = length(Inhalt);

WITH RECURSIVE
    seq(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM seq WHERE n < 800),
    users(i, name) AS (VALUES (0, 'müller'), (1, 'o''neill'), (2, 'weiß'), (3, 'admin'))
INSERT INTO VNH_ChangeLogger (ID, Zeitpunkt, Benutzer, Tabelle, DatensatzID, Aenderung)
SELECT n,
       datetime('2023-02-01 08:00:00', printf('+%d seconds', n * 3607)),
       CASE WHEN n % 100 = 0 THEN NULL ELSE users.name END,
       CASE n % 3 WHEN 0 THEN 'VNH_MSStamm' WHEN 1 THEN 'VNH_Messwerte' ELSE 'VNH_Dokumente' END,
       n * 13 % 3000,
       printf('Feld ''Bemerkung'' geändert (%d)', n)
FROM seq JOIN users ON users.i = n % 4;

COMMIT;
