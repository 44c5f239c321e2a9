-- Tables of the demo product database; both the source and the target file get them.
CREATE TABLE VNH_ValueMarkers (
    ID INTEGER PRIMARY KEY,
    Marker VARCHAR(10),
    Bedeutung VARCHAR(60),
    Farbe INTEGER,
    Sortierung INTEGER
);

CREATE TABLE VNH_MSStamm (
    ID INTEGER PRIMARY KEY,
    KennNr VARCHAR(20),
    Bezeichnung VARCHAR(80),
    Ort VARCHAR(40),
    Tiefe REAL,
    LetzteMessung DATETIME,
    LetzteBeprobung DATE,
    Aktiv BOOLEAN,
    Bemerkung TEXT
);

CREATE TABLE VNH_Messwerte (
    ID INTEGER PRIMARY KEY,
    MSStammID INTEGER,
    Zeitpunkt DATETIME,
    Parameter VARCHAR(30),
    Wert NUMERIC(18,6),
    Einheit VARCHAR(10),
    Geprueft BOOLEAN,
    Kommentar TEXT
);

CREATE TABLE VNH_Dokumente (
    ID INTEGER PRIMARY KEY,
    MSStammID INTEGER,
    Dateiname VARCHAR(60),
    Erstellt DATE,
    Groesse INTEGER,
    Vertraulich BOOLEAN,
    Inhalt BLOB
);

CREATE TABLE VNH_ChangeLogger (
    ID INTEGER PRIMARY KEY,
    Zeitpunkt DATETIME,
    Benutzer VARCHAR(30),
    Tabelle VARCHAR(40),
    DatensatzID INTEGER,
    Aenderung TEXT
);
