#pragma once

// Short note-like texts in pairs that mean the same thing in other words, grouped by topic.
// Texts of different topics make the unrelated pairs.

namespace vesk::test {

struct MeaningPair {
    const char* topic;
    const char* first;
    const char* second;
};

inline constexpr MeaningPair meaningPairs[] = {
    {"travel", "train timetable", "railway schedule"},
    {"travel", "flight to Lisbon on Friday, check in online", "plane tickets for the Portugal trip"},
    {"travel", "hotel reservation confirmation", "booking for our room at the inn"},
    {"travel", "passport renewal appointment", "new travel document application at the consulate"},
    {"house", "roof leak", "water damage in the ceiling"},
    {"house", "call the plumber about the dripping kitchen tap", "faucet in the kitchen keeps leaking"},
    {"house", "buy paint for the bedroom walls", "redecorate the bedroom, pick a wall colour"},
    {"house", "the boiler stopped working again", "no hot water, heating system broken"},
    {"house", "fix the squeaky door hinge", "oil the creaking door"},
    {"house", "clean the bathroom", "scrub the shower and toilet"},
    {"house", "recycling goes out on Thursday", "rubbish collection day"},
    {"house", "moving to a new apartment", "relocating to another flat"},
    {"garden", "mow the lawn and trim the hedge", "garden chores: grass cutting"},
    {"garden", "plant tomatoes in the vegetable patch", "sowing seeds in the garden bed"},
    {"food", "recipe for banana bread", "baking a loaf with ripe bananas"},
    {"food", "grocery list: milk, eggs, bread, butter", "things to buy at the supermarket"},
    {"food", "dinner reservation at the Italian restaurant", "table booked for pasta and pizza tonight"},
    {"food", "vegetable soup with carrots and leeks", "cooking a stew of potatoes and onions"},
    {"food", "coffee machine descaling", "clean the espresso maker"},
    {"health", "dentist appointment next Tuesday", "checkup for my teeth"},
    {"health", "the doctor said to take the antibiotics twice a day", "prescription medicine from the physician"},
    {"health", "allergy to pollen, sneezing all spring", "hay fever medication"},
    {"health", "cough and sore throat", "I caught a cold, fever and a runny nose"},
    {"fitness", "morning run, five kilometres in the park", "jogging route through the woods"},
    {"fitness", "join the gym and lift weights", "strength training at the fitness centre"},
    {"money", "monthly budget and savings plan", "how much money to put aside each month"},
    {"money", "pay the electricity bill", "invoice from the power company"},
    {"money", "tax return deadline", "file income taxes before April"},
    {"money", "mortgage interest rate from the bank", "home loan offer"},
    {"money", "password for the bank website", "online banking login"},
    {"money", "insurance claim for the stolen bike", "bicycle theft report for the insurer"},
    {"work", "meeting notes from the project kickoff", "minutes of the first team meeting"},
    {"work", "ask my manager about a raise", "salary negotiation with the boss"},
    {"work", "quarterly sales report slides", "presentation of revenue figures"},
    {"work", "job interview questions to prepare", "practice answers for the hiring conversation"},
    {"computer", "laptop battery drains quickly", "computer power problem, charger not working"},
    {"computer", "reset the wifi router password", "wireless network login"},
    {"computer", "back up photos to the external drive", "copy pictures to a hard disk"},
    {"computer", "printer out of ink", "new cartridge for the inkjet"},
    {"computer", "phone screen cracked", "broken display on my mobile"},
    {"family", "gift ideas for mum's birthday", "present for my mother"},
    {"family", "wedding invitation to send", "marriage ceremony guest list"},
    {"family", "pick up the kids from school at three", "collect the children after class"},
    {"family", "babysitter for Saturday evening", "someone to watch the children on the weekend"},
    {"family", "birthday party for Anna", "celebration with cake and balloons"},
    {"animals", "take the dog to the vet", "veterinarian visit for my puppy"},
    {"animals", "feed the cat", "food for the kitten"},
    {"animals", "birdwatching: saw a heron by the river", "a large bird standing in the stream"},
    {"reading", "books to read this summer", "novels for the holiday"},
    {"learning", "learn Spanish vocabulary", "language lessons, practise verbs"},
    {"learning", "study for the chemistry exam", "revise for the science test"},
    {"music", "guitar chords for the new song", "music practice on my instrument"},
    {"film", "movie recommendations from Sam", "films to watch"},
    {"car", "car service, oil change due", "vehicle maintenance at the garage"},
    {"car", "flat tyre on the way to work", "puncture in the wheel"},
    {"car", "parking ticket fine", "penalty for leaving the car in a no-parking zone"},
    {"weather", "pack an umbrella, rain tomorrow", "storm forecast for the weekend"},
    {"outdoors", "camping trip gear: tent and sleeping bag", "equipment for sleeping outdoors"},
    {"clothes", "buy a new winter coat", "warm jacket for the cold season"},
    {"errands", "lost my keys", "can't find the house key"},
    {"errands", "schedule a haircut", "barber appointment"},
    {"charity", "volunteer at the food bank", "charity work helping the hungry"},
};

} // namespace vesk::test
