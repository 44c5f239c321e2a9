-- Rows per table in source and target, run on the target with the source attached.
-- "expected" repeats the target's rules from target.sql: the source rows the target can take.
-- "identical" counts target rows that equal a source row in every column; date-times are compared
-- as moments, since midnight may be written as a date alone.
ATTACH 'source.sqlite' AS src;
.mode column
.headers on
WITH counts(tbl, source, target, expected, identical) AS (
    SELECT 'VNH_ValueMarkers',
           (SELECT count(*) FROM src.VNH_ValueMarkers),
           (SELECT count(*) FROM main.VNH_ValueMarkers),
           (SELECT count(*) FROM src.VNH_ValueMarkers),
           (SELECT count(*) FROM (SELECT * FROM main.VNH_ValueMarkers INTERSECT
                                  SELECT * FROM src.VNH_ValueMarkers))
    UNION ALL
    SELECT 'VNH_MSStamm',
           (SELECT count(*) FROM src.VNH_MSStamm),
           (SELECT count(*) FROM main.VNH_MSStamm),
           (SELECT count(DISTINCT KennNr) FROM src.VNH_MSStamm),
           (SELECT count(*) FROM (
               SELECT ID, KennNr, Bezeichnung, Ort, Tiefe, datetime(LetzteMessung), LetzteBeprobung, Aktiv,
                      Bemerkung FROM main.VNH_MSStamm INTERSECT
               SELECT ID, KennNr, Bezeichnung, Ort, Tiefe, datetime(LetzteMessung), LetzteBeprobung, Aktiv,
                      Bemerkung FROM src.VNH_MSStamm))
    UNION ALL
    SELECT 'VNH_Messwerte',
           (SELECT count(*) FROM src.VNH_Messwerte),
           (SELECT count(*) FROM main.VNH_Messwerte),
           (SELECT count(*) FROM src.VNH_Messwerte WHERE Wert IS NULL OR Wert >= 0),
           (SELECT count(*) FROM (
               SELECT ID, MSStammID, datetime(Zeitpunkt), Parameter, Wert, Einheit, Geprueft, Kommentar
               FROM main.VNH_Messwerte INTERSECT
               SELECT ID, MSStammID, datetime(Zeitpunkt), Parameter, Wert, Einheit, Geprueft, Kommentar
               FROM src.VNH_Messwerte))
    UNION ALL
    SELECT 'VNH_Dokumente',
           (SELECT count(*) FROM src.VNH_Dokumente),
           (SELECT count(*) FROM main.VNH_Dokumente),
           (SELECT count(*) FROM src.VNH_Dokumente),
           (SELECT count(*) FROM (SELECT * FROM main.VNH_Dokumente INTERSECT
                                  SELECT * FROM src.VNH_Dokumente))
    UNION ALL
    SELECT 'VNH_ChangeLogger',
           (SELECT count(*) FROM src.VNH_ChangeLogger),
           (SELECT count(*) FROM main.VNH_ChangeLogger),
           (SELECT count(*) FROM src.VNH_ChangeLogger WHERE Benutzer IS NOT NULL),
           (SELECT count(*) FROM (
               SELECT ID, datetime(Zeitpunkt), Benutzer, Tabelle, DatensatzID, Aenderung
               FROM main.VNH_ChangeLogger INTERSECT
               SELECT ID, datetime(Zeitpunkt), Benutzer, Tabelle, DatensatzID, Aenderung
               FROM src.VNH_ChangeLogger))
)
SELECT tbl AS "table", source, target, expected, identical,
       CASE WHEN target = expected AND identical = target THEN 'ok' ELSE 'MISMATCH' END AS "check"
FROM counts;
